#include "app/riff_command.h"

#include <cerrno>
#include <string>

#include "app/info_command.h"
#include "formats/binary_file.h"
#include "formats/riffunit.h"

namespace moraven {

namespace {

// The report names the file in its first and last lines; a name's newline or stray bytes are escaped as
// --info escapes them, so that every line of the report stays one line.
void writeLines(const std::vector<std::string>& lines, std::FILE* out) {
    for (const auto& report : lines) {
        const std::string line = printableBytes(report);
        std::fwrite(line.data(), 1, line.size(), out);
        std::fputc('\n', out);
    }
}

void tell(std::FILE* err, const std::string& message) { std::fprintf(err, "moraven: %s\n", message.c_str()); }

}  // namespace

int runRiffCommand(const std::vector<std::string>& paths, const DateFormatLocale& locale, std::FILE* out,
                   std::FILE* err) {
    int status = 0;
    RiffReportBuilder builder(currentDateTime, locale);
    for (const auto& path : paths) {
        try {
            const auto& lines = builder.BuildRiffReport(path);
            writeLines(lines, out);
            if (lines.empty()) {
                // The report of a missing file is empty; say why on the error stream.
                tell(err, FileError(FileErrorCode::NotFound, path, ENOENT).what());
                status = 1;
            }
        } catch (const FileError& error) {
            writeLines(builder.lines(), out);
            tell(err, error.what());
            status = 1;
        } catch (const std::bad_alloc&) {
            tell(err, path + ": not enough memory to read the file");
            status = 1;
        }
    }
    if (std::fflush(out) != 0 || std::ferror(out)) {
        tell(err, "cannot write the report to standard output");
        status = 1;
    }
    return status;
}

}  // namespace moraven
