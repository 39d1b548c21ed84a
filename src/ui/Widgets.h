#pragma once

#include <QLabel>
#include <QPushButton>
#include <QToolButton>

// The toolkit's small widgets: title strips and buttons with a mode value.
namespace granovia::ui {

// A strip with its caption centred on one line, in the title font.
class TitleStrip final : public QLabel {
    Q_OBJECT
public:
    static constexpr int Height = 20;
    explicit TitleStrip(const QString &caption, QWidget *parent = nullptr);
};

// A push button in the skin's colours that carries a mode value, as the
// movement buttons do.
class SuiButton final : public QPushButton {
    Q_OBJECT
public:
    SuiButton(const QString &caption, int pixelSize, bool bold, QWidget *parent = nullptr);
    int Tag = 0;
    // Space and Enter click it only once the operator has tabbed to it, never
    // when it has the focus back after a dialog or held keys repeat: a key
    // that closed a notice must not click it too.
    void setKeysOnlyWhenTabbedTo(bool onlyThen) { m_keysOnlyWhenTabbedTo = onlyThen; }

protected:
    // A flat face with a rounded border, darker while pressed, and a dotted
    // focus frame: drawn directly, because a style sheet would route every
    // paint of the button through the style sheet machinery.
    void paintEvent(QPaintEvent *event) override;
    // Enter clicks as Space does.
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;

private:
    bool keysRefused(const QKeyEvent *event) const;

    bool m_keysOnlyWhenTabbedTo = false;
    bool m_tabbedTo = false;
};

// An arrow button without text, with a mode value.
class SuiArrowButton final : public QToolButton {
    Q_OBJECT
public:
    SuiArrowButton(Qt::ArrowType arrow, const QString &accessibleName, QWidget *parent = nullptr);
    int Tag = 0;

protected:
    // The style's face, and the skin's focus frame over it.
    void paintEvent(QPaintEvent *event) override;
    // Enter clicks as Space does.
    void keyPressEvent(QKeyEvent *event) override;
};

// Whether a key is one that clicks a focused button besides Space.
bool isEnterKey(const QKeyEvent *event);

} // namespace granovia::ui
