// write_frame.cpp - write request frame encoding and reassembly.
#include "write_frame.h"

std::string EncodeWriteFrame(const std::string &itemId, const std::string &value)
{
    const std::size_t n = itemId.size() < 255 ? itemId.size() : 255;
    const std::size_t v = value.size() < 255 ? value.size() : 255;
    std::string frame;
    frame.reserve(kWriteFrameHeader + n + v);
    frame.push_back(static_cast<char>(kWriteFrameMagic0));
    frame.push_back(static_cast<char>(kWriteFrameMagic1));
    frame.push_back(static_cast<char>(static_cast<unsigned char>(n)));
    frame.push_back(static_cast<char>(static_cast<unsigned char>(v)));
    frame.append(itemId, 0, n);
    frame.append(value, 0, v);
    return frame;
}

void CWriteFrameDecoder::Append(const char *bytes, std::size_t length)
{
    m_buffer.append(bytes, length);
}

namespace {

bool HoldsNul(const std::string &text)
{
    return text.find('\0') != std::string::npos;
}

} // namespace

bool CWriteFrameDecoder::Next(WriteFrame &frame)
{
    for (;;) {
        // Drop what cannot be the start of a frame (a lone trailing "M" may be).
        std::size_t start = 0;
        while (start < m_buffer.size() &&
               !(static_cast<unsigned char>(m_buffer[start]) == kWriteFrameMagic0 &&
                 (start + 1 == m_buffer.size() ||
                  static_cast<unsigned char>(m_buffer[start + 1]) == kWriteFrameMagic1)))
            ++start;
        if (start != 0) {
            m_dropped += start;
            m_buffer.erase(0, start);
        }
        if (m_buffer.size() < kWriteFrameHeader)
            return false;
        const std::size_t n = static_cast<unsigned char>(m_buffer[2]);
        const std::size_t v = static_cast<unsigned char>(m_buffer[3]);
        const std::size_t total = kWriteFrameHeader + n + v;
        if (m_buffer.size() < total)
            return false;
        frame.itemId.assign(m_buffer, kWriteFrameHeader, n);
        frame.value.assign(m_buffer, kWriteFrameHeader + n, v);
        m_buffer.erase(0, total);
        if (n > 0 && n <= kWriteFrameMaxItemId && !HoldsNul(frame.itemId) && !HoldsNul(frame.value))
            return true;
        ++m_droppedFrames;
    }
}
