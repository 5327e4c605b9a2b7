// Browse filter patterns: wildcards, literals and the end-of-text rules.
#include "name_pattern.h"

#include <gtest/gtest.h>

#include <string>

TEST(NamePattern, EmptyOrStarMatchesEverything)
{
    EXPECT_TRUE(MatchNamePattern(nullptr, "anything"));
    EXPECT_TRUE(MatchNamePattern("", "anything"));
    EXPECT_TRUE(MatchNamePattern("*", ""));
    EXPECT_TRUE(MatchNamePattern("*", "a.b.c"));
}

TEST(NamePattern, LiteralsAreExactAndCaseSensitive)
{
    EXPECT_TRUE(MatchNamePattern("abc", "abc"));
    EXPECT_FALSE(MatchNamePattern("abc", "abcd"));
    EXPECT_FALSE(MatchNamePattern("abcd", "abc"));
    EXPECT_FALSE(MatchNamePattern("ABC", "abc"));
}

TEST(NamePattern, QuestionMarkTakesExactlyOneCharacter)
{
    EXPECT_TRUE(MatchNamePattern("a?c", "abc"));
    EXPECT_FALSE(MatchNamePattern("a?c", "abcd"));
    EXPECT_FALSE(MatchNamePattern("a?c", "ac"));
    EXPECT_FALSE(MatchNamePattern("ab?", "ab"));
    EXPECT_TRUE(MatchNamePattern("??", "xy"));
}

TEST(NamePattern, StarRuns)
{
    EXPECT_TRUE(MatchNamePattern("ab*", "ab"));
    EXPECT_TRUE(MatchNamePattern("ab*", "abxyz"));
    EXPECT_TRUE(MatchNamePattern("*ab", "xab"));
    // The literal after a trailing star is searched once: its first
    // occurrence must end the text.
    EXPECT_FALSE(MatchNamePattern("*ab", "abab"));
    EXPECT_TRUE(MatchNamePattern("*Valve", "Area.Valve"));
    EXPECT_TRUE(MatchNamePattern("A*.*e", "Area.Valve"));
    EXPECT_TRUE(MatchNamePattern("*ump*", "Area.Pump.Flow"));
    EXPECT_FALSE(MatchNamePattern("*x*", "Area.Pump.Flow"));
    EXPECT_TRUE(MatchNamePattern("*a?c", "zzabc"));
}

TEST(NamePattern, PatternLeftAfterTheTextEndsMustBeConsumed)
{
    EXPECT_FALSE(MatchNamePattern("*a*b", "xa"));
    EXPECT_FALSE(MatchNamePattern("a*b", "a"));
    EXPECT_TRUE(MatchNamePattern("a*", "a"));
    EXPECT_FALSE(MatchNamePattern("*ab", ""));
}

TEST(NamePattern, OverlongLiteralRunDoesNotMatch)
{
    const std::string text(300, 'q');
    EXPECT_FALSE(MatchNamePattern(("*" + std::string(256, 'q')).c_str(), text.c_str()));
    EXPECT_TRUE(MatchNamePattern(("*" + std::string(255, 'q')).c_str(), text.substr(0, 255).c_str()));
}
