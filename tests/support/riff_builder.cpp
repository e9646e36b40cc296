#include "support/riff_builder.h"

#include <algorithm>
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

static std::uint32_t readU32(const ByteVector& b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
           (static_cast<std::uint32_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

static void writeU32(ByteVector& b, std::size_t at, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

static void walkPositions(const ByteVector& file, std::size_t begin, std::size_t end, const std::string& id,
                          std::vector<std::size_t>& out) {
    std::size_t pos = begin;
    while (pos + 8 <= end) {
        const std::string chunkId(file.begin() + static_cast<std::ptrdiff_t>(pos),
                                  file.begin() + static_cast<std::ptrdiff_t>(pos + 4));
        const std::size_t size = readU32(file, pos + 4);
        const std::size_t dataEnd = std::min(end, pos + 8 + size);
        const bool isList = (chunkId == "RIFF" || chunkId == "LIST") && size >= 4;
        const std::string type = isList ? std::string(file.begin() + static_cast<std::ptrdiff_t>(pos + 8),
                                                      file.begin() + static_cast<std::ptrdiff_t>(pos + 12))
                                        : std::string();
        if (chunkId == id || (isList && type == id)) out.push_back(pos);
        if (isList) walkPositions(file, pos + 12, dataEnd, id, out);
        pos = pos + 8 + size + (size % 2);
    }
}

std::vector<std::size_t> chunkPositions(const ByteVector& file, const std::string& id) {
    std::vector<std::size_t> out;
    walkPositions(file, 0, file.size(), id, out);
    return out;
}

ByteVector openDmlAvi(const OpenDmlOptions& o) {
    const int forms = (o.frames + o.framesPerForm - 1) / o.framesPerForm;
    const int streams = o.withAudio ? 2 : 1;
    const auto framesIn = [&o](int form) {
        return std::min(o.framesPerForm, o.frames - form * o.framesPerForm);
    };
    const auto ixBytes = [](int entries) {
        return ByteVector(24 + 8 * static_cast<std::size_t>(entries), 0);
    };
    const ByteVector indxPlaceholder(24 + 16 * static_cast<std::size_t>(forms), 0);

    MainHeader mh;
    mh.totalFrames = static_cast<std::uint32_t>(framesIn(0));
    mh.streams = static_cast<std::uint32_t>(streams);
    StreamHeader video;
    video.length = static_cast<std::uint32_t>(o.frames);
    StreamHeader audio;
    audio.type = "auds";
    audio.handler = std::string("\0\0\0\0", 4);
    audio.scale = 4;
    audio.rate = 192000;
    audio.sampleSize = 4;
    audio.length = static_cast<std::uint32_t>(static_cast<std::size_t>(o.frames) * o.audioBytes / 4);
    std::vector<Chunk> hdrl = {
        chunk("avih", avihBytes(mh)),
        list("strl", {chunk("strh", strhBytes(video)), chunk("strf", bitmapInfoBytes(720, 576, "dvsd")),
                      chunk("indx", indxPlaceholder)})};
    if (o.withAudio) {
        hdrl.push_back(list("strl", {chunk("strh", strhBytes(audio)), chunk("strf", waveFormatBytes()),
                                     chunk("indx", indxPlaceholder)}));
    }
    ByteVector dmlh;
    appendU32(dmlh, static_cast<std::uint32_t>(o.frames));
    hdrl.push_back(list("odml", {chunk("dmlh", dmlh)}));

    std::vector<Chunk> top;
    for (int f = 0; f < forms; ++f) {
        std::vector<Chunk> movi;
        for (int i = f * o.framesPerForm; i < f * o.framesPerForm + framesIn(f); ++i) {
            movi.push_back(chunk("00dc", ByteVector(o.frameBytes, static_cast<std::uint8_t>(i))));
            if (o.withAudio) {
                movi.push_back(chunk("01wb", ByteVector(o.audioBytes, static_cast<std::uint8_t>(0x80 + i))));
            }
        }
        movi.push_back(chunk("ix00", ixBytes(framesIn(f))));
        if (o.withAudio) movi.push_back(chunk("ix01", ixBytes(framesIn(f))));
        std::vector<Chunk> children;
        if (f == 0) children.push_back(list("hdrl", hdrl));
        children.push_back(list("movi", std::move(movi)));
        if (f == 0 && o.withIdx1) {
            children.push_back(
                chunk("idx1", ByteVector(16 * static_cast<std::size_t>(framesIn(0) * streams), 0)));
        }
        top.push_back(riff(f == 0 ? "AVI " : "AVIX", std::move(children)));
    }
    ByteVector file = serialize(top);

    // Now that every chunk has its place, fill in the indexes.
    const auto movis = chunkPositions(file, "movi");
    const auto indxs = chunkPositions(file, "indx");
    for (int s = 0; s < streams; ++s) {
        const std::string dataId = s == 0 ? "00dc" : "01wb";
        const auto data = chunkPositions(file, dataId);
        const auto ixs = chunkPositions(file, s == 0 ? "ix00" : "ix01");
        const std::size_t indx = indxs[static_cast<std::size_t>(s)] + 8;
        ByteVector head;
        appendU16(head, 4);
        head.push_back(0);
        head.push_back(0);  // AVI_INDEX_OF_INDEXES
        appendU32(head, static_cast<std::uint32_t>(forms));
        appendFourCC(head, dataId);
        std::copy(head.begin(), head.end(), file.begin() + static_cast<std::ptrdiff_t>(indx));
        std::size_t sample = 0;
        for (int f = 0; f < forms; ++f) {
            const std::size_t ix = ixs[static_cast<std::size_t>(f)];
            const std::size_t base = movis[static_cast<std::size_t>(f)];
            ByteVector body;
            appendU16(body, 2);
            body.push_back(0);
            body.push_back(1);  // AVI_INDEX_OF_CHUNKS
            appendU32(body, static_cast<std::uint32_t>(framesIn(f)));
            appendFourCC(body, dataId);
            appendU64(body, base);
            appendU32(body, 0);
            for (int i = 0; i < framesIn(f); ++i, ++sample) {
                appendU32(body, static_cast<std::uint32_t>(data[sample] + 8 - base));
                appendU32(body, readU32(file, data[sample] + 4));
            }
            std::copy(body.begin(), body.end(), file.begin() + static_cast<std::ptrdiff_t>(ix + 8));
            const std::size_t entry = indx + 24 + 16 * static_cast<std::size_t>(f);
            writeU32(file, entry, static_cast<std::uint32_t>(ix));
            writeU32(file, entry + 4, static_cast<std::uint32_t>(static_cast<std::uint64_t>(ix) >> 32));
            writeU32(file, entry + 8, static_cast<std::uint32_t>(8 + body.size()));
            writeU32(file, entry + 12, static_cast<std::uint32_t>(framesIn(f)));
        }
    }
    if (o.withIdx1) {
        const std::size_t idx1 = chunkPositions(file, "idx1")[0] + 8;
        const std::size_t moviType = movis[0] + 8;
        std::size_t entry = idx1;
        std::vector<std::size_t> firstForm;
        for (const std::string id : {"00dc", "01wb"}) {
            for (const std::size_t pos : chunkPositions(file, id)) {
                if (pos < idx1) firstForm.push_back(pos);
            }
        }
        std::sort(firstForm.begin(), firstForm.end());
        for (const std::size_t pos : firstForm) {
            std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(pos), 4,
                        file.begin() + static_cast<std::ptrdiff_t>(entry));
            writeU32(file, entry + 4, 0x10);
            writeU32(file, entry + 8, static_cast<std::uint32_t>(pos - moviType));
            writeU32(file, entry + 12, readU32(file, pos + 4));
            entry += 16;
        }
    }
    return file;
}

}  // namespace moraven::test
