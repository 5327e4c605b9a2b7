// name_pattern.cpp - browse filter matching.
//
// Pattern and text are walked together. Literal characters after a "*" are
// collected into a buffer (the text does not move) and searched for as a
// whole when the next wildcard or the end of the pattern is reached; outside
// a "*" run every literal must equal the current text character.
#include "name_pattern.h"

#include <cstring>

namespace {

enum class Mode { None, Star, Question };

const size_t kLiteralMax = 255;

// Moves text past the first occurrence of literal; false when there is none.
bool ConsumeLiteral(const char *&text, const char *literal, size_t literalLength)
{
    if (literalLength == 0)
        return true;
    const char *found = std::strstr(text, literal);
    if (found == nullptr)
        return false;
    text = found + literalLength;
    return true;
}

} // namespace

bool MatchNamePattern(const char *pattern, const char *text)
{
    if (pattern == nullptr || *pattern == '\0' || std::strcmp(pattern, "*") == 0)
        return true;
    if (text == nullptr)
        text = "";

    char literal[kLiteralMax + 1];
    size_t literalLength = 0;
    literal[0] = '\0';
    Mode mode = Mode::None;

    const char *p = pattern;
    const char *t = text;
    // In a "*" run literal characters do not consume text, so the pattern
    // must be read to its end even when the text is exhausted; otherwise
    // "*a*b" would match "xa".
    while (*p != '\0' && (*t != '\0' || mode == Mode::Star)) {
        const char c = *p;
        if (c == '*' || c == '?') {
            if (!ConsumeLiteral(t, literal, literalLength))
                return false;
            literalLength = 0;
            literal[0] = '\0';
            if (c == '?') {
                if (*t == '\0')
                    return false; // "?" needs one character
                ++t;
                mode = Mode::Question;
            } else {
                mode = Mode::Star;
            }
            ++p;
        } else if (mode == Mode::Star) {
            if (literalLength == kLiteralMax)
                return false; // literal run longer than the buffer: no match
            literal[literalLength++] = c;
            literal[literalLength] = '\0';
            ++p;
        } else {
            if (c != *t)
                return false;
            ++p;
            ++t;
        }
    }

    if (mode == Mode::Star) {
        if (literalLength == 0)
            return true;
        const char *found = std::strstr(t, literal);
        return found != nullptr && found[literalLength] == '\0';
    }
    if (*p == '\0' && *t == '\0')
        return true;
    return *t == '\0' && std::strcmp(p, "*") == 0;
}
