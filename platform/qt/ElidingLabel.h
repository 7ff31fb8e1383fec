// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLabel>
#include <QString>

namespace platform {

// A one-line static that shows its whole text when it fits and otherwise leaves out its
// middle ("/dev/disk/by-…/sdc1, mounted on /mnt"), so that both ends stay readable; the
// program sets and reads the whole text.
class CElidingLabel : public QLabel {
public:
    explicit CElidingLabel(QWidget* parent);

    void SetFullText(const QString& text);
    const QString& FullText() const { return m_fullText; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void Elide();

    QString m_fullText;
};

}  // namespace platform
