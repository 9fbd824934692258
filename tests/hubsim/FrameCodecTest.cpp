// The simulator's own frame codec: what it must find in any byte stream a host sends.
#include "FrameCodec.h"

#include <gtest/gtest.h>

using namespace hubsim;

namespace {

std::vector<SFrame> FeedAll(CFrameDecoder& decoder, const Bytes& bytes, size_t nChunk) {
    std::vector<SFrame> frames;
    for (size_t i = 0; i < bytes.size(); i += nChunk) {
        const size_t n = std::min(nChunk, bytes.size() - i);
        decoder.Feed(bytes.data() + i, n, [&](SFrame&& f) { frames.push_back(std::move(f)); });
    }
    return frames;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

}  // namespace

TEST(FrameCodec, EncodeBuildsHeaderWithBigEndianLength) {
    const Bytes frame = EncodeFrame(0x0A, Bytes(0x0123, 0x41));
    ASSERT_EQ(frame.size(), 6u + 0x0123);
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 6), (Bytes{0x56, 0x51, 0x54, 0x0A, 0x01, 0x23}));
}

TEST(FrameCodec, EncodeCutsOversizedPayloadIntoSeveralFrames) {
    const Bytes frame = EncodeFrame(3, Bytes(70000, 0x11));
    CFrameDecoder decoder;
    const auto frames = FeedAll(decoder, frame, frame.size());
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].vecPayload.size(), 65535u);
    EXPECT_EQ(frames[1].vecPayload.size(), 70000u - 65535u);
}

TEST(FrameCodec, EmptyPayloadIsNeverSentAsAZeroLengthFrame) {
    EXPECT_TRUE(EncodeFrame(3, Bytes{}).empty());
    EXPECT_TRUE(EncodeFrame(3, nullptr, 0).empty());
}

TEST(FrameCodec, DecodesFramesWhateverTheChunking) {
    const Bytes stream = Concat({EncodeFrame(3, {1, 2, 3}), EncodeFrame(5, {9}), EncodeFrame(0, Bytes(300, 7))});
    for (size_t nChunk : {size_t{1}, size_t{2}, size_t{5}, size_t{6}, size_t{7}, size_t{200}, stream.size()}) {
        CFrameDecoder decoder;
        const auto frames = FeedAll(decoder, stream, nChunk);
        ASSERT_EQ(frames.size(), 3u) << "chunk " << nChunk;
        EXPECT_EQ(frames[0].nDevice, 3);
        EXPECT_EQ(frames[0].vecPayload, (Bytes{1, 2, 3}));
        EXPECT_EQ(frames[1].nDevice, 5);
        EXPECT_EQ(frames[1].vecPayload, (Bytes{9}));
        EXPECT_EQ(frames[2].vecPayload, Bytes(300, 7));
        EXPECT_FALSE(decoder.InFrame());
    }
}

TEST(FrameCodec, SkipsBytesOutsideFramesAndCountsKeepAliveZeros) {
    // Zeros (keep-alive), a broken marker "VQx", a lone "V" right before a real marker.
    const Bytes stream = Concat({{0x00, 0x00, 0x41, 'V', 'Q', 'x', 0x00, 'V'}, EncodeFrame(7, {0xAB})});
    CFrameDecoder decoder;
    const auto frames = FeedAll(decoder, stream, 1);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].nDevice, 7);
    EXPECT_EQ(frames[0].vecPayload, (Bytes{0xAB}));
    EXPECT_EQ(decoder.Stats().nKeepAliveZeros, 3u);
    EXPECT_EQ(decoder.Stats().nSkippedBytes, 8u);
}

TEST(FrameCodec, ZeroBytesInsidePayloadAreNotKeepAlive) {
    CFrameDecoder decoder;
    const auto frames = FeedAll(decoder, EncodeFrame(0, {0, 0, 0}), 64);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(decoder.Stats().nKeepAliveZeros, 0u);
}

TEST(FrameCodec, ZeroLengthFrameIsDroppedAndFollowingFrameFound) {
    const Bytes stream = Concat({{'V', 'Q', 'T', 4, 0, 0}, EncodeFrame(4, {0x55})});
    CFrameDecoder decoder;
    const auto frames = FeedAll(decoder, stream, 3);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].vecPayload, (Bytes{0x55}));
    EXPECT_EQ(decoder.Stats().nZeroLengthFrames, 1u);
}

TEST(FrameCodec, ResetForgetsHalfAFrame) {
    const Bytes frame = EncodeFrame(9, {1, 2, 3, 4});
    CFrameDecoder decoder;
    std::vector<SFrame> frames;
    auto sink = [&](SFrame&& f) { frames.push_back(std::move(f)); };
    decoder.Feed(frame.data(), 8, sink);  // header and two payload bytes
    EXPECT_TRUE(decoder.InFrame());
    decoder.Reset();
    EXPECT_FALSE(decoder.InFrame());
    const Bytes next = EncodeFrame(2, {0x77});
    decoder.Feed(next.data(), next.size(), sink);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].nDevice, 2);
    EXPECT_EQ(frames[0].vecPayload, (Bytes{0x77}));
}

TEST(FrameCodec, LargestDeclaredLengthIsCollectedWithoutOverrun) {
    const Bytes frame = EncodeFrame(1, Bytes(0xFFFF, 0x5A));
    CFrameDecoder decoder;
    const auto frames = FeedAll(decoder, frame, 4093);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].vecPayload.size(), 0xFFFFu);
}

TEST(HexText, ParsesAndFormats) {
    EXPECT_EQ(ParseHex("56 51:54-0a"), (Bytes{0x56, 0x51, 0x54, 0x0A}));
    EXPECT_FALSE(ParseHex("5"));
    EXPECT_FALSE(ParseHex("5 6"));
    EXPECT_FALSE(ParseHex("zz"));
    EXPECT_EQ(ToHex(Bytes{0x0A, 0xFF}), "0AFF");
    EXPECT_EQ(ParseNumber("0x1F", 0, 255), 31);
    EXPECT_EQ(ParseNumber("12", 0, 255), 12);
    EXPECT_FALSE(ParseNumber("256", 0, 255));
    EXPECT_FALSE(ParseNumber("12a", 0, 255));
    EXPECT_FALSE(ParseNumber("", 0, 255));
    EXPECT_EQ(SplitWords("  a  bc\td "), (std::vector<std::string>{"a", "bc", "d"}));
}
