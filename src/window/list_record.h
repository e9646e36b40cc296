#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "formats/date_time.h"
#include "formats/dvcodes.h"

namespace moraven {

// The sort orders of the list, the values of the setting "Ordre de la Liste".
inline constexpr int kOrderDatecode = 0;
inline constexpr int kOrderAlphabetical = 1;
inline constexpr int kOrderFileSize = 2;
inline constexpr int kOrderFileDate = 3;

// A stored order outside 0..3 names no key; the list treats it as the datecode order.
constexpr int normalizedSortOrder(int order) { return order >= 0 && order <= 3 ? order : kOrderDatecode; }

// What the list and the commands read of a listed file: its names, its four sort keys and the facts that
// the naming and date commands use. A record is read once when it is made and never changes; the list owns
// it for as long as its row lives.
class ListRecord {
public:
    virtual ~ListRecord() = default;

    // The path as given when the file was added; a row's identity (exact, case-sensitive).
    virtual const std::string& fullPath() const = 0;
    // The name without folder, with extension: the row's caption.
    virtual const std::string& fileName() const = 0;
    // The key of the record for `order` (0 datecode, 1 alphabetical, 2 file size, 3 file date); every key
    // ends with the lower-cased full path.
    virtual const std::string& sortKey(int order) const = 0;

    // The recording date-time (value 0 when the file has none), and its text: "N/A" when the file is DV
    // without a datecode, "-" when it is readable but not DV.
    virtual DateTime datecode() const = 0;
    virtual const std::string& datecodeText() const = 0;
    // The tape timecode as text, with the same absence values as datecodeText.
    virtual const std::string& timecodeText() const = 0;
    // The file's creation and last-modification dates, local time.
    virtual DateTime created() const = 0;
    virtual DateTime modified() const = 0;

    // Bit 0: the owner may not write the file (read-only).
    virtual std::uint32_t attributes() const = 0;
    bool readOnly() const { return (attributes() & 1U) != 0; }
    // The video's frame rate (0 when unknown) and the four-character code of its codec.
    virtual double fps() const = 0;
    virtual const std::string& codec() const = 0;
    // Whether the video is DV, and then its DV type (1: one interleaved stream, 2: separate video and audio).
    virtual bool isDv() const = 0;
    virtual int dvType() const = 0;
    // A DV type-2 file whose interleaved DV stream sits among two or more streams.
    virtual bool type2Iavs() const = 0;
    // The television system of the video (a DV file always has one); Unknown for other files.
    virtual DvSystem tvSystem() const = 0;
    // The sound's format as text ("48000Hz 16 bits Stereo"); "N/A" when the file has no sound.
    virtual const std::string& audioText() const = 0;
};

// Makes the record of an existing file; reading may take long (the whole list scan of one file).
using RecordFactory = std::function<std::unique_ptr<ListRecord>(const std::string& path)>;

}  // namespace moraven
