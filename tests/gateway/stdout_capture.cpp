// stdout_capture.cpp - standard output redirected into a temporary file.
#include "stdout_capture.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <iterator>

CStdoutCapture::CStdoutCapture()
{
    char directory[MAX_PATH];
    char file[MAX_PATH];
    GetTempPathA(MAX_PATH, directory);
    GetTempFileNameA(directory, "out", 0, file);
    m_path = file;
    std::fflush(stdout);
    m_savedStdout = _dup(1);
    const int capture = _open(m_path.c_str(), _O_WRONLY | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (capture >= 0) {
        _dup2(capture, 1);
        _close(capture);
    }
}

CStdoutCapture::~CStdoutCapture()
{
    Finish();
}

std::string CStdoutCapture::Text() const
{
    if (m_finished)
        return m_text;
    std::fflush(stdout);
    std::ifstream file(m_path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string CStdoutCapture::Finish()
{
    if (m_finished)
        return m_text;
    m_text = Text();
    m_finished = true;
    if (m_savedStdout >= 0) {
        _dup2(m_savedStdout, 1);
        _close(m_savedStdout);
    }
    DeleteFileA(m_path.c_str());
    std::fwrite(m_text.data(), 1, m_text.size(), stdout);
    std::fflush(stdout);
    return m_text;
}
