#include "support/riff_builder.h"

#include <stdexcept>

namespace moraven::test {

Chunk chunk(const std::string& id, ByteVector data) {
    Chunk c;
    c.id = id;
    c.data = std::move(data);
    return c;
}

Chunk list(const std::string& listType, std::vector<Chunk> children) {
    Chunk c;
    c.id = "LIST";
    c.listType = listType;
    c.children = std::move(children);
    return c;
}

Chunk riff(const std::string& formType, std::vector<Chunk> children) {
    Chunk c;
    c.id = "RIFF";
    c.listType = formType;
    c.children = std::move(children);
    return c;
}

Chunk withDeclaredSize(Chunk c, std::uint32_t size) {
    c.declaredSize = size;
    return c;
}

void appendU16(ByteVector& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void appendU32(ByteVector& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void appendU64(ByteVector& out, std::uint64_t v) {
    appendU32(out, static_cast<std::uint32_t>(v));
    appendU32(out, static_cast<std::uint32_t>(v >> 32));
}

void appendFourCC(ByteVector& out, const std::string& code) {
    if (code.size() != 4) throw std::invalid_argument("four-character code expected: " + code);
    out.insert(out.end(), code.begin(), code.end());
}

ByteVector concat(std::initializer_list<ByteVector> parts) {
    ByteVector out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

static void serializeInto(const Chunk& c, ByteVector& out) {
    ByteVector body;
    if (c.isList()) appendFourCC(body, c.listType);
    body.insert(body.end(), c.data.begin(), c.data.end());
    for (const auto& child : c.children) serializeInto(child, body);
    appendFourCC(out, c.id);
    appendU32(out, c.declaredSize.value_or(static_cast<std::uint32_t>(body.size())));
    out.insert(out.end(), body.begin(), body.end());
    if (c.pad && body.size() % 2 == 1) out.push_back(0);
}

ByteVector serialize(const Chunk& c) {
    ByteVector out;
    serializeInto(c, out);
    return out;
}

ByteVector serialize(const std::vector<Chunk>& chunks) {
    ByteVector out;
    for (const auto& c : chunks) serializeInto(c, out);
    return out;
}

ByteVector avihBytes(const MainHeader& h) {
    ByteVector out;
    appendU32(out, h.microSecPerFrame);
    appendU32(out, h.maxBytesPerSec);
    appendU32(out, 0);  // padding granularity
    appendU32(out, h.flags);
    appendU32(out, h.totalFrames);
    appendU32(out, 0);  // initial frames
    appendU32(out, h.streams);
    appendU32(out, h.suggestedBufferSize);
    appendU32(out, h.width);
    appendU32(out, h.height);
    for (int i = 0; i < 4; ++i) appendU32(out, 0);
    return out;
}

ByteVector strhBytes(const StreamHeader& h) {
    ByteVector out;
    appendFourCC(out, h.type);
    appendFourCC(out, h.handler);
    appendU32(out, h.flags);
    appendU16(out, 0);  // priority
    appendU16(out, 0);  // language
    appendU32(out, 0);  // initial frames
    appendU32(out, h.scale);
    appendU32(out, h.rate);
    appendU32(out, 0);  // start
    appendU32(out, h.length);
    appendU32(out, h.suggestedBufferSize);
    appendU32(out, h.quality);
    appendU32(out, h.sampleSize);
    appendU16(out, 0);
    appendU16(out, 0);
    appendU16(out, static_cast<std::uint16_t>(h.right));
    appendU16(out, static_cast<std::uint16_t>(h.bottom));
    return out;
}

ByteVector bitmapInfoBytes(std::int32_t width, std::int32_t height, const std::string& compression,
                           std::uint16_t bitCount, std::uint32_t sizeImage) {
    ByteVector out;
    appendU32(out, 40);
    appendU32(out, static_cast<std::uint32_t>(width));
    appendU32(out, static_cast<std::uint32_t>(height));
    appendU16(out, 1);
    appendU16(out, bitCount);
    appendFourCC(out, compression);
    appendU32(out, sizeImage);
    appendU32(out, 0);
    appendU32(out, 0);
    appendU32(out, 0);
    appendU32(out, 0);
    return out;
}

ByteVector waveFormatBytes(std::uint16_t channels, std::uint32_t samplesPerSec, std::uint16_t bitsPerSample) {
    ByteVector out;
    const auto blockAlign = static_cast<std::uint16_t>(channels * bitsPerSample / 8);
    appendU16(out, 1);  // PCM
    appendU16(out, channels);
    appendU32(out, samplesPerSec);
    appendU32(out, samplesPerSec * blockAlign);
    appendU16(out, blockAlign);
    appendU16(out, bitsPerSample);
    appendU16(out, 0);
    return out;
}

ByteVector dvInfoBytes(std::uint32_t aauxSrc, std::uint32_t aauxCtl, std::uint32_t aauxSrc1,
                       std::uint32_t aauxCtl1, std::uint32_t vauxSrc, std::uint32_t vauxCtl) {
    ByteVector out;
    for (std::uint32_t v : {aauxSrc, aauxCtl, aauxSrc1, aauxCtl1, vauxSrc, vauxCtl, 0u, 0u}) appendU32(out, v);
    return out;
}

static std::vector<Chunk> frameChunks(const std::string& id, int frames, std::size_t frameBytes) {
    std::vector<Chunk> out;
    for (int i = 0; i < frames; ++i) out.push_back(chunk(id, ByteVector(frameBytes, static_cast<std::uint8_t>(i))));
    return out;
}

static ByteVector idx1For(const std::vector<std::string>& ids, int frames, std::size_t frameBytes) {
    ByteVector out;
    std::uint32_t offset = 4;
    for (int i = 0; i < frames; ++i) {
        for (const auto& id : ids) {
            appendFourCC(out, id);
            appendU32(out, 0x10);
            appendU32(out, offset);
            appendU32(out, static_cast<std::uint32_t>(frameBytes));
            offset += static_cast<std::uint32_t>(8 + frameBytes + frameBytes % 2);
        }
    }
    return out;
}

ByteVector dvType1Avi(int frames, std::size_t frameBytes) {
    MainHeader mh;
    mh.totalFrames = static_cast<std::uint32_t>(frames);
    StreamHeader sh;
    sh.type = "iavs";
    sh.length = static_cast<std::uint32_t>(frames);
    return serialize(riff("AVI ", {list("hdrl", {chunk("avih", avihBytes(mh)),
                                                 list("strl", {chunk("strh", strhBytes(sh)),
                                                               chunk("strf", dvInfoBytes())})}),
                                   list("movi", frameChunks("00db", frames, frameBytes)),
                                   chunk("idx1", idx1For({"00db"}, frames, frameBytes))}));
}

ByteVector dvType2Avi(int frames, std::size_t frameBytes) {
    MainHeader mh;
    mh.totalFrames = static_cast<std::uint32_t>(frames);
    mh.streams = 2;
    StreamHeader video;
    video.length = static_cast<std::uint32_t>(frames);
    StreamHeader audio;
    audio.type = "auds";
    audio.handler = std::string("\0\0\0\0", 4);
    audio.scale = 4;
    audio.rate = 192000;
    audio.sampleSize = 4;
    audio.length = static_cast<std::uint32_t>(frames) * 1920;
    std::vector<Chunk> movi;
    for (int i = 0; i < frames; ++i) {
        movi.push_back(chunk("00dc", ByteVector(frameBytes, static_cast<std::uint8_t>(i))));
        movi.push_back(chunk("01wb", ByteVector(frameBytes, static_cast<std::uint8_t>(0x80 + i))));
    }
    return serialize(riff(
        "AVI ", {list("hdrl", {chunk("avih", avihBytes(mh)),
                               list("strl", {chunk("strh", strhBytes(video)),
                                             chunk("strf", concat({bitmapInfoBytes(720, 576, "dvsd"),
                                                                   dvInfoBytes()}))}),
                               list("strl", {chunk("strh", strhBytes(audio)), chunk("strf", waveFormatBytes())})}),
                 list("movi", std::move(movi)), chunk("idx1", idx1For({"00dc", "01wb"}, frames, frameBytes))}));
}

}  // namespace moraven::test
