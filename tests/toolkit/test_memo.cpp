// Memos holding runs of text without a break opportunity: laid out in linear time, set by code
// or pasted, and wrapped where Qt's own layout wraps them.
#include "controlwidgets.h"
#include "forms.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QTextBlock>
#include <QTextLayout>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

QPlainTextEdit* EditorOf(TMemo* memo) { return static_cast<QPlainTextEdit*>(memo->impl().widget.data()); }

// Where each line of the text starts.
std::vector<int> LineStarts(QPlainTextEdit* editor)
{
    std::vector<int> starts;
    for (QTextBlock block = editor->document()->firstBlock(); block.isValid(); block = block.next()) {
        editor->document()->documentLayout()->blockBoundingRect(block); // lays the block out
        for (int i = 0; i < block.layout()->lineCount(); ++i)
            starts.push_back(block.position() + block.layout()->lineAt(i).textStart());
    }
    return starts;
}

struct MemoTest : ::testing::Test {
    TForm* form = new TForm(nullptr);
    MemoTest()
    {
        form->SetBounds(0, 0, 900, 400);
        form->Show();
    }
    ~MemoTest() override { delete form; }

    TMemo* Make(int width, bool readOnly = false)
    {
        auto* memo = new TMemo(form);
        memo->SetParent(form);
        memo->SetBounds(8, 8, width, 137);
        memo->SetReadOnly(readOnly);
        return memo;
    }
};

} // namespace

TEST_F(MemoTest, AMegabyteWithoutABreakIsLaidOutInWellUnderASecond)
{
    const std::string text(1'000'000, 'a');
    for (bool paste : {false, true}) {
        for (bool readOnly : {true, false}) {
            if (paste && readOnly)
                continue;
            TMemo* memo = Make(129, readOnly);
            QElapsedTimer clock;
            clock.start();
            if (paste) {
                QApplication::clipboard()->setText(QString::fromStdString(text));
                EditorOf(memo)->paste();
            } else {
                memo->SetText(text);
            }
            memo->Repaint();
            const std::vector<int> starts = LineStarts(EditorOf(memo));
            // Qt's own layout took minutes for this.
            EXPECT_LT(clock.elapsed(), 3000) << (paste ? "pasted" : readOnly ? "read-only" : "editable");
            EXPECT_GT(starts.size(), 10'000u);
            EXPECT_EQ(memo->Text(), text);
        }
    }
}

TEST_F(MemoTest, TextsWrapWhereQtsOwnLayoutWrapsThem)
{
    std::string words;
    for (int i = 0; i < 12; ++i)
        words += "the cat sat on a mat ";
    std::string japanese; // may break between most characters, but not before "。"
    for (int i = 0; i < 300; ++i)
        japanese += "\xe3\x81\x82\xe3\x81\x84\xe3\x81\x86\xe3\x80\x82"; // あいう。 in UTF-8
    const std::string cases[] = {
        std::string(2500, 'w') + "\r\n" + std::string(1500, 'x'), // long runs: Qt breaks them anywhere
        words + std::string(1000, 'y') + " " + words,            // a run just short of the limit
        japanese,
        words,
    };
    for (int width : {129, 300}) {
        TMemo* memo = Make(width);
        for (const std::string& text : cases) {
            EditorOf(memo)->setPlainText(QString::fromStdString(text)); // as typed or pasted
            // Today's layout: the text in a plain editor of the same font, size and margins.
            QPlainTextEdit reference(static_cast<QWidget*>(form->impl().widget.data()));
            reference.setFont(EditorOf(memo)->font());
            reference.setGeometry(EditorOf(memo)->geometry());
            reference.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            reference.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            reference.document()->setDocumentMargin(1);
            reference.setPlainText(EditorOf(memo)->toPlainText());
            reference.show();
            EXPECT_EQ(LineStarts(EditorOf(memo)), LineStarts(&reference)) << "width " << width << ": " << text.substr(0, 20);
        }
    }
}
