// write_frame.h - the write request frame that the bridge sends to the
// gateway for every OPC client write: "M", "I", the item ID's length and the
// value text's length (one unsigned byte each), the item ID bytes (ANSI),
// the value text bytes; no terminators, no separators, no reply.
#pragma once

#include <cstddef>
#include <string>

struct WriteFrame {
    std::string itemId;
    std::string value;
};

const unsigned char kWriteFrameMagic0 = 0x4D; // 'M'
const unsigned char kWriteFrameMagic1 = 0x49; // 'I'
const std::size_t kWriteFrameHeader = 4;
// The longest item ID the OPC DA library publishes.
const std::size_t kWriteFrameMaxItemId = 79;

// The frame bytes. Texts longer than 255 bytes are cut to 255 so that the
// length bytes always hold the true lengths of what follows.
std::string EncodeWriteFrame(const std::string &itemId, const std::string &value);

// Reassembles frames from the bytes of one connection, in the order they
// arrive, across receives. Bytes that cannot start a frame (no magic) are
// dropped one at a time until a frame start is found. A complete frame that
// no published item can have sent - an empty item ID, one longer than
// kWriteFrameMaxItemId, or a NUL byte in the item ID or the value (the
// value goes to the platform as text, which would end there) - is dropped
// whole and counted.
class CWriteFrameDecoder {
public:
    void Append(const char *bytes, std::size_t length);
    // The next complete frame; false when the buffered bytes hold none yet.
    bool Next(WriteFrame &frame);
    // Bytes dropped because they could not start a frame, since creation.
    std::size_t DroppedBytes() const { return m_dropped; }
    // Complete frames dropped as malformed, since creation.
    std::size_t DroppedFrames() const { return m_droppedFrames; }
    // Bytes of an incomplete frame waiting for more.
    std::size_t Pending() const { return m_buffer.size(); }

private:
    std::string m_buffer;
    std::size_t m_dropped = 0;
    std::size_t m_droppedFrames = 0;
};
