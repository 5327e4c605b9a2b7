// write_frame_fuzz.cpp - fuzz target of the write request frame decoder
// (what any local program can send to TCP port 8787). The input is fed in
// receives whose sizes the first byte chooses; the frames must not depend
// on where TCP cut the bytes, every byte must be accounted for, and the
// decoder never holds more than one incomplete frame.
#include "write_frame.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const std::size_t kLongestFrame = kWriteFrameHeader + 255 + 255;

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

struct Decoded {
    std::vector<WriteFrame> frames;
    std::size_t frameBytes = 0;
};

void Drain(CWriteFrameDecoder &decoder, Decoded &decoded)
{
    WriteFrame frame;
    while (decoder.Next(frame)) {
        Check(!frame.itemId.empty() && frame.itemId.size() <= kWriteFrameMaxItemId);
        Check(frame.itemId.find('\0') == std::string::npos && frame.value.find('\0') == std::string::npos);
        Check(frame.value.size() <= 255);
        decoded.frameBytes += kWriteFrameHeader + frame.itemId.size() + frame.value.size();
        decoded.frames.push_back(frame);
    }
    Check(decoder.Pending() <= kLongestFrame);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const unsigned cut = data[0];
    const char *bytes = reinterpret_cast<const char *>(data + 1);
    const std::size_t length = size - 1;

    CWriteFrameDecoder whole;
    Decoded wholeFrames;
    whole.Append(bytes, length);
    Drain(whole, wholeFrames);

    // The same bytes in receives of 1 to 64 bytes, sizes from a small
    // generator seeded by the first byte.
    CWriteFrameDecoder pieces;
    Decoded pieceFrames;
    unsigned state = cut * 2654435761u + 1;
    for (std::size_t at = 0; at < length;) {
        state = state * 1103515245u + 12345u;
        const std::size_t piece = std::min<std::size_t>(length - at, 1 + (state >> 16) % 64);
        pieces.Append(bytes + at, piece);
        Drain(pieces, pieceFrames);
        at += piece;
    }

    Check(wholeFrames.frames.size() == pieceFrames.frames.size());
    for (std::size_t i = 0; i < wholeFrames.frames.size(); ++i) {
        Check(wholeFrames.frames[i].itemId == pieceFrames.frames[i].itemId);
        Check(wholeFrames.frames[i].value == pieceFrames.frames[i].value);
    }
    Check(whole.DroppedBytes() == pieces.DroppedBytes() && whole.DroppedFrames() == pieces.DroppedFrames());
    Check(whole.Pending() == pieces.Pending());
    // Every byte is in a frame, dropped, or waiting. Malformed frames were
    // consumed whole: their bytes are what the sum leaves.
    Check(wholeFrames.frameBytes + whole.DroppedBytes() + whole.Pending() <= length);
    Check(whole.DroppedFrames() > 0 ||
          wholeFrames.frameBytes + whole.DroppedBytes() + whole.Pending() == length);

    // A frame the decoder returned encodes back to the bytes it came from.
    for (const WriteFrame &frame : wholeFrames.frames) {
        const std::string again = EncodeWriteFrame(frame.itemId, frame.value);
        CWriteFrameDecoder roundTrip;
        roundTrip.Append(again.data(), again.size());
        WriteFrame decoded;
        Check(roundTrip.Next(decoded) && decoded.itemId == frame.itemId && decoded.value == frame.value);
        Check(roundTrip.Pending() == 0 && roundTrip.DroppedBytes() == 0);
    }
    return 0;
}
