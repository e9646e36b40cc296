#include "ui/repair_dialogs.h"

namespace moraven {

namespace {

ChoiceDialogTexts frequenceTexts() {
    return {
        .title = QStringLiteral("Fix the framerate"),
        .intro = QStringLiteral(
            "Indicate the framerate in frames per seconds.\r\nThe audio frequency remains inchanged."),
        .choicesName = QStringLiteral("rgFreq"),
        .choicesHint = QStringLiteral("Choose a framerate."),
        .entries = {QStringLiteral("25 frames/sec (Pal)"), QStringLiteral("29.97 frames/sec (NTSC)"),
                    QStringLiteral("personalized")},
        .editLabel = QStringLiteral("Personalized frequency"),
        .editHint = QStringLiteral(
            "Indicate the framerate by a decimal number\r\n(using your local representation)."),
        .editSuffix = QStringLiteral("frames/sec"),
        .okHint = QStringLiteral("Apply the new framerate."),
        .cancelHint =
            QStringLiteral("Cancel the command \"Fix the framerate\" \r\nwithout applying the modification."),
    };
}

ChoiceDialogTexts codecTexts() {
    return {
        .title = QStringLiteral("Change the video codec"),
        .intro = QStringLiteral("Choose the codec"),
        .choicesName = QStringLiteral("rgCodec"),
        .choicesHint = QStringLiteral("Choose a codec"),
        .entries = {QStringLiteral("dvsd (Microsoft)"), QStringLiteral("dsvd"),
                    QStringLiteral("CDVC (Canopus)"), QStringLiteral("personalized")},
        .editLabel = QStringLiteral("Personalized Codec"),
        .editHint = QStringLiteral("Indicate the personalized codec (4 characters)"),
        .editSuffix = QStringLiteral("(4 characters)"),
        .okHint = QStringLiteral("Validate the change of codec."),
        .cancelHint =
            QStringLiteral("Cancel the command \"Fix the codec\" \r\nwithout applying the modification."),
    };
}

}  // namespace

TFrequenceForm::TFrequenceForm(QWidget* parent) : ChoiceDialog(frequenceTexts(), parent) {
    setObjectName(QStringLiteral("FrequenceForm"));
}

TCodecForm::TCodecForm(QWidget* parent) : ChoiceDialog(codecTexts(), parent) {
    setObjectName(QStringLiteral("CodecForm"));
}

RepairDialogs::RepairDialogs(QWidget* parent)
    : m_frequence(new TFrequenceForm(parent)), m_codec(new TCodecForm(parent)) {}

RepairDialogs::~RepairDialogs() {
    delete m_frequence.data();
    delete m_codec.data();
}

bool RepairDialogs::runFrequenceDialog(ChoiceDialogState& state) { return m_frequence->run(state); }

bool RepairDialogs::runCodecDialog(ChoiceDialogState& state) { return m_codec->run(state); }

}  // namespace moraven
