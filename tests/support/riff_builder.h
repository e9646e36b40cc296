#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Builds RIFF byte images for tests: any chunk tree, any sizes, malformed on purpose where a test asks.
//
//   auto avi = riff("AVI ", {list("hdrl", {chunk("avih", avihBytes(...)), ...}), list("movi", {...})});
//   std::vector<uint8_t> bytes = serialize(avi);
//
// Chunks are written with their true size and a pad byte after odd data, unless `declaredSize` overrides
// the size field (the data written stays the same) or `pad` is switched off.
namespace moraven::test {

using ByteVector = std::vector<std::uint8_t>;

struct Chunk {
    std::string id;                          // four characters
    std::string listType;                    // for "RIFF" and "LIST": the form or list type
    ByteVector data;                         // plain chunk data (for lists: written before the children)
    std::vector<Chunk> children;             // for "RIFF" and "LIST"
    std::optional<std::uint32_t> declaredSize;  // size field to write instead of the true one
    bool pad = true;                         // write a pad byte after odd-sized data
    bool isList() const { return id == "RIFF" || id == "LIST"; }
};

Chunk chunk(const std::string& id, ByteVector data);
Chunk list(const std::string& listType, std::vector<Chunk> children);
Chunk riff(const std::string& formType, std::vector<Chunk> children);
Chunk withDeclaredSize(Chunk c, std::uint32_t size);

ByteVector serialize(const Chunk& c);
ByteVector serialize(const std::vector<Chunk>& chunks);

// Field helpers for building header data.
void appendU16(ByteVector& out, std::uint16_t v);
void appendU32(ByteVector& out, std::uint32_t v);
void appendU64(ByteVector& out, std::uint64_t v);
void appendFourCC(ByteVector& out, const std::string& code);  // exactly four characters
ByteVector concat(std::initializer_list<ByteVector> parts);

// AVI headers with the fields tests care about; everything else zero.
struct MainHeader {
    std::uint32_t microSecPerFrame = 40000;
    std::uint32_t maxBytesPerSec = 3600000;
    std::uint32_t flags = 0x910;
    std::uint32_t totalFrames = 0;
    std::uint32_t streams = 1;
    std::uint32_t suggestedBufferSize = 144008;
    std::uint32_t width = 720;
    std::uint32_t height = 576;
};
ByteVector avihBytes(const MainHeader& h);  // 56 bytes

struct StreamHeader {
    std::string type = "vids";
    std::string handler = "dvsd";
    std::uint32_t flags = 0;
    std::uint32_t scale = 1;
    std::uint32_t rate = 25;
    std::uint32_t length = 0;
    std::uint32_t suggestedBufferSize = 144000;
    std::uint32_t quality = 0xFFFFFFFF;
    std::uint32_t sampleSize = 0;
    std::int16_t right = 720;
    std::int16_t bottom = 576;
};
ByteVector strhBytes(const StreamHeader& h);  // 56 bytes

ByteVector bitmapInfoBytes(std::int32_t width, std::int32_t height, const std::string& compression,
                           std::uint16_t bitCount = 24, std::uint32_t sizeImage = 144000);  // 40 bytes
ByteVector waveFormatBytes(std::uint16_t channels = 2, std::uint32_t samplesPerSec = 48000,
                           std::uint16_t bitsPerSample = 16);  // 18 bytes (with cbSize)
ByteVector dvInfoBytes(std::uint32_t aauxSrc = 0xC8C0D0C0, std::uint32_t aauxCtl = 0x01800000,
                       std::uint32_t aauxSrc1 = 0x0000D0C0, std::uint32_t aauxCtl1 = 0x00000000,
                       std::uint32_t vauxSrc = 0xFF20FFFF, std::uint32_t vauxCtl = 0xFFFE3F00);  // 32 bytes

// Whole files of common shapes, each with `frames` movi entries of `frameBytes` bytes.
ByteVector dvType1Avi(int frames = 2, std::size_t frameBytes = 64);
ByteVector dvType2Avi(int frames = 2, std::size_t frameBytes = 64);

// An OpenDML file: a "vids" "dvsd" stream ("00dc") and optionally a PCM stream ("01wb"), `frames` frames
// spread over RIFF forms of `framesPerForm` frames each (the first "AVI ", the others "AVIX"). Each movi list
// ends with one ix## standard index per stream (base offset: the movi list's position), each stream's indx
// super index lists them, LIST "odml" holds dmlh with the total frame count, and idx1 (offsets relative to
// the movi list) covers the first form when `withIdx1`. Video frame i is `frameBytes` bytes of value i, its
// audio chunk `audioBytes` bytes of value 0x80 + i.
struct OpenDmlOptions {
    int frames = 6;
    int framesPerForm = 2;
    std::size_t frameBytes = 64;
    bool withAudio = true;
    std::size_t audioBytes = 32;
    bool withIdx1 = true;
};
ByteVector openDmlAvi(const OpenDmlOptions& options = {});

// Positions of the chunk headers whose id is `id` or, for "RIFF" and "LIST", whose form or list type is
// `id`, in file order, found by walking a well-formed `file` through every RIFF form and list.
std::vector<std::size_t> chunkPositions(const ByteVector& file, const std::string& id);

}  // namespace moraven::test
