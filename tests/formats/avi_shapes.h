#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "support/riff_builder.h"

// AVI files of the shapes that the container reader and the header patcher must tell apart, built from
// riff_builder's pieces. Handlers are passed in so that a test can find its stream header in the image.
namespace moraven::test::shapes {

inline Chunk videoStrl(const std::string& handler, const std::string& type = "vids") {
    StreamHeader header;
    header.type = type;
    header.handler = handler;
    const ByteVector format = type == "iavs" ? dvInfoBytes() : bitmapInfoBytes(720, 576, "dvsd");
    return list("strl", {chunk("strh", strhBytes(header)), chunk("strf", format)});
}

inline Chunk audioStrl() {
    StreamHeader header;
    header.type = "auds";
    header.handler = std::string(4, '\0');
    header.scale = 4;
    header.rate = 192000;
    header.sampleSize = 4;
    return list("strl", {chunk("strh", strhBytes(header)), chunk("strf", waveFormatBytes())});
}

inline Chunk headerList(std::vector<Chunk> streamLists) {
    std::vector<Chunk> children{chunk("avih", avihBytes(MainHeader{}))};
    for (auto& s : streamLists) children.push_back(std::move(s));
    return list("hdrl", std::move(children));
}

inline Chunk movieList(int frames = 2) {
    std::vector<Chunk> data;
    for (int i = 0; i < frames; ++i)
        data.push_back(chunk("00dc", ByteVector(64, static_cast<std::uint8_t>(i))));
    return list("movi", std::move(data));
}

// A whole first RIFF form: header list with the given stream lists, a movi list and an idx1 chunk.
inline Chunk aviForm(std::vector<Chunk> streamLists) {
    return riff("AVI ", {headerList(std::move(streamLists)), movieList(), chunk("idx1", ByteVector(32, 0))});
}

inline ByteVector aviWith(std::vector<Chunk> streamLists) {
    return serialize(aviForm(std::move(streamLists)));
}

// An OpenDML super index ("indx") with one entry: 24 bytes of header and 16 per entry.
inline ByteVector superIndexBytes(const std::string& chunkId) {
    ByteVector out;
    appendU16(out, 4);  // longs per entry
    out.push_back(0);   // index sub-type
    out.push_back(0);   // index type: an index of indexes
    appendU32(out, 1);  // entries in use
    appendFourCC(out, chunkId);
    for (int i = 0; i < 3; ++i) appendU32(out, 0);
    appendU64(out, 0x4000);  // offset of the standard index
    appendU32(out, 32);      // its size
    appendU32(out, 2);       // frames it covers
    return out;
}

// An OpenDML DV type 2 file: a first form "AVI " with super indexes and the "odml" list, then
// `continuationForms` forms "AVIX" each holding a movi list with two frames and a standard index.
// Chunks visited by a walk that skips movi lists: 15 in the first form, 2 per AVIX form.
inline ByteVector openDmlAvi(int continuationForms = 2, const std::string& videoHandler = "dvsd") {
    Chunk video = videoStrl(videoHandler);
    video.children.push_back(chunk("indx", superIndexBytes("00dc")));
    Chunk audio = audioStrl();
    audio.children.push_back(chunk("indx", superIndexBytes("01wb")));
    ByteVector dmlh;
    appendU32(dmlh, 2 + 2 * static_cast<std::uint32_t>(continuationForms));
    dmlh.resize(248, 0);
    std::vector<Chunk> forms{riff("AVI ", {list("hdrl", {chunk("avih", avihBytes(MainHeader{})), video, audio,
                                                         list("odml", {chunk("dmlh", dmlh)})}),
                                           movieList(), chunk("idx1", ByteVector(32, 0))})};
    for (int i = 0; i < continuationForms; ++i) {
        Chunk movi = movieList();
        movi.children.push_back(chunk("ix00", ByteVector(40, 0)));
        forms.push_back(riff("AVIX", {movi}));
    }
    return serialize(forms);
}

// Offset of the first occurrence of `text` at or after `from`, or npos.
inline std::size_t findText(const ByteVector& bytes, const std::string& text, std::size_t from = 0) {
    if (text.empty() || bytes.size() < text.size()) return std::string::npos;
    for (std::size_t i = from; i + text.size() <= bytes.size(); ++i) {
        if (std::equal(text.begin(), text.end(), bytes.begin() + static_cast<std::ptrdiff_t>(i))) return i;
    }
    return std::string::npos;
}

}  // namespace moraven::test::shapes
