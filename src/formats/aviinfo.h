#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "formats/avi_headers.h"
#include "formats/fourcc.h"

// The AVI container reader: walks the RIFF structure of one file to tell whether it is a readable AVI file
// and which four-character handler its video stream has. It reads headers only; everything else about the
// file comes from the media pipeline.
namespace moraven {

class BinaryFile;

// One stream of the file, one per "strl" list, in file order: its "strh" chunk (the AVI stream header)
// decoded. Fields that a shorter "strh" did not supply stay zero.
class TAvistream {
public:
    AviStreamHeader header;

    FourCC fccType() const { return header.type; }
    FourCC fccHandler() const { return header.handler; }
};

// The findings of one walk. Filled by TFriendlyAviParam's constructor, read-only afterwards.
class TAviParam {
public:
    // No AVI file can address more streams than this: the stream number in a data chunk's id is two
    // digits, 256 values even read as hexadecimal. Further "strl" lists are walked but not kept (a file made
    // of nothing but empty stream lists would otherwise make the list several times larger than the file).
    static constexpr std::size_t kMaxStreams = 256;

    // The file is a readable AVI file: it begins with a RIFF form of type "AVI " (any type beginning with
    // "AVI" passes, like the OpenDML continuation "AVIX") that walked cleanly, and every further RIFF form
    // that the file holds whole is of such a type and walked cleanly too. A first form that the file cuts
    // short (a recording that stopped) counts when what the file holds of it walks cleanly up to its "movi"
    // list: its whole frames can be read.
    bool ok() const { return m_ok; }

    // Index in streams() of the first stream of type "vids" or "iavs"; -1 when there is none.
    std::int32_t videoStreamIndex() const { return m_videoStream; }

    const std::vector<TAvistream>& streams() const { return m_streams; }

protected:
    bool m_ok = false;
    std::int32_t m_videoStream = -1;
    std::vector<TAvistream> m_streams;

    // The walk's working state: the chunk header read last and the type of the list entered last.
    FourCC m_chunkId;
    std::uint32_t m_chunkSize = 0;
    FourCC m_listType;
    bool m_moviReached = false;  // the walk of the current form came to its "movi" list
};

// The reader's operations. The constructor performs the whole walk and closes the file before it returns.
// Main thread or any single thread; the object holds no file afterwards.
class TFriendlyAviParam : public TAviParam {
public:
    // Walks the file at `path` (UTF-8). Throws FileError when the file cannot be opened (missing, a folder,
    // no permission). A file that opens but is not a readable AVI file gives ok() == false, never an error.
    explicit TFriendlyAviParam(const std::string& path);

    // The video stream's handler: exactly four characters, its bytes as they stand (unprintable ones
    // included); "####" when the file has no video stream. Meaningful when ok() is true.
    std::string codecCode() const;

private:
    bool readChunkHeader(BinaryFile& file);
    bool readListType(BinaryFile& file);
    bool walkForm(BinaryFile& file, std::uint32_t left);
    bool walkHeaderList(BinaryFile& file, std::uint32_t left);
    bool walkStreamList(BinaryFile& file, std::uint32_t left);
    bool walkOdmlList(BinaryFile& file, std::uint32_t left);
};

}  // namespace moraven
