#pragma once

#include <QWidget>

class QLabel;
class QPlainTextEdit;

namespace moraven {

// `VideFrame`, shown in place of the information panel while the list is empty (280 x 385): how to bring
// files in, and a picture.
class PlaceholderFrame : public QWidget {
    Q_OBJECT

public:
    static constexpr int kWidth = 280;
    static constexpr int kHeight = 385;

    explicit PlaceholderFrame(QWidget* parent = nullptr);

    void ApplyEnglishTexts();
    QString memoText() const;

private:
    QPlainTextEdit* m_memo = nullptr;
    QLabel* m_picture = nullptr;
};

}  // namespace moraven
