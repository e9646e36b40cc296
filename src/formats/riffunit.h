#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "formats/date_format.h"
#include "formats/date_time.h"
#include "formats/media_type.h"

// The RIFF structure report: the chunk tree of one AVI file as text lines, with the decoded contents of the
// main AVI header ("avih"), each stream header ("strh"), each stream format ("strf": bitmap header, wave
// format or DV information block) and each OpenDML index header ("indx", "ix##"). The lines show chunk
// sizes that run past the end of the file, garbage after the last RIFF form and an unexpected end. The
// report window lists the lines in a fixed-pitch font and can save them as a text file.
namespace moraven {

class BinaryFile;

// Builds the report of one file at a time. The builder keeps the lines of the last report until the next
// one starts.
//
// Threads: BuildRiffReport runs on one thread (the window's). requestCancel may be called from any thread,
// or from the message pump while a report is being built. Everything else belongs to the building thread
// and must not be called while a report is being built; in particular the pump must not start another
// report.
class RiffReportBuilder {
public:
    // Which kind of stream the last "strh" described; it decides how the next "strf" is decoded.
    enum class StreamKind { Video, Audio, Interleaved, Other };

    using Clock = std::function<DateTime()>;
    using MessagePump = std::function<void()>;

    // The width of the report's rules and the width that centred lines are centred in.
    static constexpr int kLineWidth = 50;
    // A list at this depth (top-level chunks are at depth 0) is listed with its type line, but its chunks
    // are not walked: this bounds the recursion. Real AVI files nest four or five deep.
    static constexpr int kMaxListDepth = 64;

    // `clock` gives the analysis time shown in the report's header, written with the separators of
    // `locale` (the user's, in the program).
    explicit RiffReportBuilder(Clock clock = currentDateTime,
                               DateFormatLocale locale = englishDateFormatLocale());

    // Called before every chunk, so that a window can process its pending messages (and its Close button
    // can cancel) during a long walk. No pump by default.
    void setMessagePump(MessagePump pump) { m_pump = std::move(pump); }

    // Builds the report of `path` and returns its lines (also kept in lines()).
    // - A path that does not exist gives an empty report.
    // - A path that exists but cannot be opened as a file (a folder, a device, no permission) throws the
    //   FileError of the open; lines() then holds the header lines already made. A read error while walking
    //   throws FileError the same way, with the lines made so far.
    // The last lines name the file by its full path (a relative `path` is taken from the working folder).
    // Each call clears the cancel and short-read flags first.
    const std::vector<std::string>& BuildRiffReport(const std::string& path);

    // Asks the report being built to stop at its next chunk; it then ends with the "Canceled by user" lines.
    // The window does this when it closes, and then closes itself once BuildRiffReport returns.
    void requestCancel() { m_cancel.store(true); }
    bool cancelRequested() const { return m_cancel.load(); }

    // True when a read of the last report came up short at the end of the file ("Unexpected end").
    bool shortRead() const { return m_shortRead; }

    const std::string& path() const { return m_path; }
    const std::vector<std::string>& lines() const { return m_lines; }
    StreamKind lastStreamKind() const { return m_lastStream; }

private:
    // Reports one chunk at the file's position and returns the number of bytes it occupies (header
    // included): 0 when cancelled or when its header could not be read, 8 for garbage at top level.
    std::int64_t ReportChunk(BinaryFile& file, int depth, bool topLevel);

    // Reads exactly buffer.size() bytes or sets the short-read flag and returns false.
    bool readField(BinaryFile& file, std::span<std::uint8_t> buffer);
    // Like readField for `count` bytes of which only the first buffer.size() are kept.
    bool readFieldPrefix(BinaryFile& file, std::span<std::uint8_t> buffer, std::int64_t count);

    void addLine(std::string line);
    void addCentered(const std::string& prefix, char fill, const std::string& text);
    void addTitle(int depth, const std::string& text);
    void addField(int depth, const char* label, const std::string& value);
    void addDvLines(int depth, const DvInfo& dvInfo);

    Clock m_clock;
    DateFormatLocale m_locale;
    MessagePump m_pump;
    std::string m_path;
    std::atomic<bool> m_cancel{false};
    bool m_shortRead = false;
    StreamKind m_lastStream = StreamKind::Other;
    std::vector<std::string> m_lines;
};

// Saves report lines as 8-bit text, every line (the last one too) followed by CR LF, as the report window's
// "Save" does. The text goes to a temporary file beside `path` that is then renamed over it, so a failed
// save leaves any earlier file at `path` as it was and no partial file behind. An existing file keeps its
// permission bits. Throws FileError when the file cannot be written.
void saveRiffReport(const std::vector<std::string>& lines, const std::string& path);

}  // namespace moraven
