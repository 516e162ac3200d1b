// The frame number and page range boxes lie over the blanks of their captions and never cover a
// character of them, at any font size.

#include <QApplication>
#include <QCheckBox>
#include <QFontMetrics>
#include <QLineEdit>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>

#include "browser/web_engine_setup.h"
#include "support/test_window.h"
#include "test_support.h"
#include "ui/frmmain.h"

using namespace tabvoro;

namespace {

struct Column {
    int left;   // in the caption control's pixels
    int right;  // one past the last
};

// Each character's columns as the caption draws it, measured independently of the window's
// placement: the style's text origin plus the advance of the text before the character.
std::vector<Column> characterColumns(const QAbstractButton &caption, QStyle::SubElement contents)
{
    QStyleOptionButton option;
    option.initFrom(&caption);
    option.text = caption.text();
    const int origin = caption.style()->subElementRect(contents, &option, &caption).left();
    const QFontMetrics metrics(caption.font());
    const QString text = caption.text();
    std::vector<Column> columns;
    for (qsizetype i = 0; i < text.size(); ++i)
        columns.push_back({origin + metrics.horizontalAdvance(text.left(i)), origin + metrics.horizontalAdvance(text.left(i + 1))});
    return columns;
}

// Checks that no character but a blank shares a column with a box, that every box lies within the
// caption's height band and has room, and that the boxes keep their caption order.
void checkBoxesClearOfCharacters(const QAbstractButton &caption, QStyle::SubElement contents,
                                 const std::vector<const QWidget *> &boxes)
{
    const QString text = caption.text();
    QVERIFY2(caption.sizeHint().width() <= caption.width(), "the caption is cut off by its own control");
    const std::vector<Column> columns = characterColumns(caption, contents);
    int previousRight = 0;
    for (const QWidget *box : boxes) {
        const QRect onCaption = box->geometry().translated(-caption.pos());
        QVERIFY2(onCaption.width() >= 8, qPrintable(box->objectName()));
        QVERIFY(onCaption.left() >= previousRight);
        previousRight = onCaption.right() + 1;
        for (std::size_t i = 0; i < columns.size(); ++i) {
            if (text[i].isSpace())
                continue;
            const bool overlaps = columns[i].left < onCaption.right() + 1 && onCaption.left() < columns[i].right;
            QVERIFY2(!overlaps, qPrintable(QStringLiteral("%1 covers \"%2\" (%3..%4) at %5..%6")
                                               .arg(box->objectName(), text.at(i))
                                               .arg(columns[i].left)
                                               .arg(columns[i].right)
                                               .arg(onCaption.left())
                                               .arg(onCaption.right() + 1)));
        }
    }
    // Still over the caption's line, as a box set into it.
    for (const QWidget *box : boxes)
        QVERIFY(box->geometry().intersects(caption.geometry()));
}

}  // namespace

class CaptionBoxesTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::ScratchDir> m_dir;
    std::unique_ptr<ui::Frmmain> m_window;

    void checkAll()
    {
        ui::Frmmain &w = *m_window;
        checkBoxesClearOfCharacters(*w.CheckKj, QStyle::SE_CheckBoxContents, {w.txtKj});
        checkBoxesClearOfCharacters(*w.Option1[1], QStyle::SE_RadioButtonContents, {w.txtYs, w.txtYw});
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<test::ScratchDir>();
        m_window = test::makeTestWindow(*m_dir);
        QVERIFY(m_window);
    }

    void cleanup() { m_window.reset(), m_dir.reset(); }

    void atStartUp() { checkAll(); }

    void followsTheFont_data()
    {
        QTest::addColumn<int>("pointSize");
        QTest::addColumn<bool>("onTheCaptions");  // else on the whole window
        // The captions' controls keep their widths: 10 points is the largest size at which the
        // whole caption still fits in its control.
        QTest::newRow("small window font") << 8 << false;
        QTest::newRow("large window font") << 10 << false;
        QTest::newRow("large caption fonts") << 10 << true;
    }

    // A font changed after start-up: the boxes move with the blanks, and the captions read as
    // they did.
    void followsTheFont()
    {
        QFETCH(int, pointSize);
        QFETCH(bool, onTheCaptions);
        ui::Frmmain &w = *m_window;
        const QString kj = w.CheckKj->text();
        const QString ys = w.Option1[1]->text();
        const QRect before = w.txtYw->geometry();
        QFont font = w.font();
        font.setPointSize(pointSize);
        if (onTheCaptions) {
            w.CheckKj->setFont(font);
            w.Option1[1]->setFont(font);
        } else {
            w.setFont(font);
        }
        QCOMPARE(w.CheckKj->font().pointSize(), pointSize);
        checkAll();
        QVERIFY(w.txtYw->geometry() != before);
        QCOMPARE(w.CheckKj->text(), kj);
        QCOMPARE(w.Option1[1]->text(), ys);
    }

    // Moved and resized, as a later layout might: the boxes go along.
    void followsTheCaption()
    {
        ui::Frmmain &w = *m_window;
        w.Option1[1]->move(w.Option1[1]->pos() + QPoint(40, 0));
        w.CheckKj->setGeometry(w.CheckKj->geometry().adjusted(-20, 0, 0, 0));
        checkAll();
    }
};

int main(int argc, char **argv)
{
    browser::prepareWebEngine();
    QApplication app(argc, argv);
    CaptionBoxesTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "caption_boxes_test.moc"
