#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

#include "formats/dvcodes.h"
#include "pipeline/stages/in_place_stage.h"

// "Velloran cf_DVHeader": puts the source's frame header back and shifts the recording time, in place on
// each DV frame.
//   - RestoreHeader: bytes 0..479 of each frame (DIF blocks 0 to 5 of sequence 0: header, subcode and
//     VAUX, which an encoder does not keep) are replaced by those of the frame the sample was made from, as
//     the scene detection kept them in the sample's frame facts (MediaSample::frameFacts), which travel with
//     it through parallel codecs. A sample without facts keeps its own header. When that source frame is of
//     another TV system than the frame written (a PAL header onto an NTSC frame after a standards
//     conversion), the frame keeps its own system bits: the DSF bit of the header block and the 50/60 and
//     STYPE bits of the VAUX source pack; timecode, recording date and time and everything else come from
//     the source. A source frame whose 480 header bytes are all zero (its first sequence zeroed: a
//     damaged frame) gives nothing back either.
//   - HourShift: the recording date of the first sequence that holds one moves by that many hours (the day,
//     month and year roll over); only that sequence is written. A frame without a date, or with one that is
//     no real date-time (30 February), stays as it is.
// No frame ever fails. Accepts what the scene detection accepts.
//
// Threads: RestoreHeader and SetHourShift() on the control thread while the graph is stopped; the rest on
// the streaming thread.
namespace moraven {

class Tdv_DVheader final : public InPlaceStage {
public:
    static constexpr const char* kDisplayName = "Velloran cf_DVHeader";

    Tdv_DVheader();

    bool RestoreHeader = true;

    void SetHourShift(std::int32_t hours) { m_hourShift.store(hours); }
    std::int32_t HourShift() const { return m_hourShift.load(); }

    // The recording date `date` moved by `hours`, with whole-number calendar arithmetic; nothing when `date`
    // is absent or no real date-time.
    static std::optional<TDvRecDate> shiftedRecDate(const TDvRecDate& date, std::int32_t hours);

protected:
    bool acceptsType(const MediaType& type) const override;
    void transform(MediaSample& sample) override;

private:
    std::atomic<std::int32_t> m_hourShift{0};
};

}  // namespace moraven
