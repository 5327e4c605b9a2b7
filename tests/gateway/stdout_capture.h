// stdout_capture.h - collects what the process writes to its standard output
// (the C runtime's stdout) into a file while it runs; the tests check the
// gateway's console lines with it. When the capture ends, what it collected
// (test failures included) is passed on to the real standard output.
#pragma once

#include <string>

class CStdoutCapture {
public:
    CStdoutCapture();  // starts capturing
    ~CStdoutCapture(); // Finish() unless done
    CStdoutCapture(const CStdoutCapture &) = delete;
    CStdoutCapture &operator=(const CStdoutCapture &) = delete;

    // Everything written so far (the capture goes on).
    std::string Text() const;
    // Restores the standard output, passes the collected text on to it and
    // returns that text.
    std::string Finish();

private:
    std::string m_path;
    int m_savedStdout = -1;
    bool m_finished = false;
    std::string m_text;
};
