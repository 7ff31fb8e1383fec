// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLabel>
#include <QString>

namespace platform {

// A static that shows each line of its text whole when it fits and otherwise leaves out its
// middle, so that both ends stay readable: the middle of a path the line starts with first
// ("/home/…/d.img, label DATA, 64.0 MiB"), else of the whole line. The program sets and
// reads the whole text.
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
    QString Elided(const QString& line, int room) const;

    // A path shortened to fewer characters than this tells nothing.
    static constexpr int kShortestPath = 10;

    QString m_fullText;
};

}  // namespace platform
