// Write request frames: the bytes of one frame, and reassembly of frames
// from the receives of one connection however TCP cut them.
#include "write_frame.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<WriteFrame> Drain(CWriteFrameDecoder &decoder)
{
    std::vector<WriteFrame> frames;
    WriteFrame frame;
    while (decoder.Next(frame))
        frames.push_back(frame);
    return frames;
}

} // namespace

TEST(WriteFrame, Encoding)
{
    EXPECT_EQ(std::string("\x4D\x49\x03\x04" "a.b1234", 11), EncodeWriteFrame("a.b", "1234"));
    EXPECT_EQ(std::string("MI\x00\x00", 4), EncodeWriteFrame("", ""));
    const std::string longValue(300, 'x');
    const std::string frame = EncodeWriteFrame("t", longValue);
    EXPECT_EQ(255, static_cast<unsigned char>(frame[3]));
    EXPECT_EQ(4u + 1 + 255, frame.size());
}

TEST(WriteFrame, TwoFramesInOneReceiveComeOutInOrder)
{
    CWriteFrameDecoder decoder;
    const std::string bytes = EncodeWriteFrame("a.b", "12") + EncodeWriteFrame("c", "  2.500000");
    decoder.Append(bytes.data(), bytes.size());
    std::vector<WriteFrame> frames = Drain(decoder);
    ASSERT_EQ(2u, frames.size());
    EXPECT_EQ("a.b", frames[0].itemId);
    EXPECT_EQ("12", frames[0].value);
    EXPECT_EQ("c", frames[1].itemId);
    EXPECT_EQ("  2.500000", frames[1].value);
    EXPECT_EQ(0u, decoder.Pending());
}

TEST(WriteFrame, FramesSplitAcrossReceivesAreReassembled)
{
    CWriteFrameDecoder decoder;
    const std::string first = EncodeWriteFrame("Area.Pump.Speed", "1450");
    const std::string bytes = first + EncodeWriteFrame("x", "1");
    // Every possible cut: one byte per receive.
    std::vector<WriteFrame> frames;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        decoder.Append(&bytes[i], 1);
        for (const WriteFrame &f : Drain(decoder))
            frames.push_back(f);
        EXPECT_EQ(i + 1 < first.size() ? 0u : i + 1 < bytes.size() ? 1u : 2u, frames.size()) << i;
    }
    ASSERT_EQ(2u, frames.size());
    EXPECT_EQ("Area.Pump.Speed", frames[0].itemId);
    EXPECT_EQ("1450", frames[0].value);
    EXPECT_EQ("x", frames[1].itemId);
    EXPECT_EQ(0u, decoder.DroppedBytes());
}

TEST(WriteFrame, BytesThatCannotStartAFrameAreDropped)
{
    CWriteFrameDecoder decoder;
    const std::string frame = EncodeWriteFrame("a.b", "12");
    const std::string bytes = "xyz" + frame + "\x01\x02\x03";
    decoder.Append(bytes.data(), bytes.size());
    std::vector<WriteFrame> frames = Drain(decoder);
    ASSERT_EQ(1u, frames.size());
    EXPECT_EQ("a.b", frames[0].itemId);
    EXPECT_EQ(6u, decoder.DroppedBytes());
    // A trailing "M" may begin the next frame: kept.
    decoder.Append("M", 1);
    EXPECT_FALSE(decoder.Next(frames[0]));
    EXPECT_EQ(1u, decoder.Pending());
    const std::string rest = frame.substr(1);
    decoder.Append(rest.data(), rest.size());
    EXPECT_TRUE(decoder.Next(frames[0]));
    EXPECT_EQ("12", frames[0].value);
}

TEST(WriteFrame, AnnouncedLengthLongerThanWhatArrivedWaits)
{
    CWriteFrameDecoder decoder;
    const std::string bytes("\x4D\x49\x03\x04" "a.b12", 9); // announces 11 bytes
    decoder.Append(bytes.data(), bytes.size());
    WriteFrame frame;
    EXPECT_FALSE(decoder.Next(frame));
    EXPECT_EQ(9u, decoder.Pending());
    decoder.Append("34", 2);
    ASSERT_TRUE(decoder.Next(frame));
    EXPECT_EQ("1234", frame.value);
}

TEST(WriteFrame, FramesNoPublishedItemCanSendAreDroppedAndCounted)
{
    CWriteFrameDecoder decoder;
    const std::string bytes = EncodeWriteFrame("", "1") + EncodeWriteFrame(std::string(80, 'a'), "1") +
                              EncodeWriteFrame(std::string("a\0b", 3), "1") +
                              EncodeWriteFrame("a.b", std::string("1\0" "2", 3)) +
                              EncodeWriteFrame(std::string(79, 'c'), "7");
    decoder.Append(bytes.data(), bytes.size());
    std::vector<WriteFrame> frames = Drain(decoder);
    ASSERT_EQ(1u, frames.size());
    EXPECT_EQ(std::string(79, 'c'), frames[0].itemId);
    EXPECT_EQ("7", frames[0].value);
    EXPECT_EQ(4u, decoder.DroppedFrames());
    EXPECT_EQ(0u, decoder.DroppedBytes());
    EXPECT_EQ(0u, decoder.Pending());
}
