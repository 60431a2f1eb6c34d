// Modal boxes, file, font and print dialogs, printing and the help viewer.
#include "dialogs.h"
#include "forms.h"
#include "helpviewer.h"
#include "modal.h"
#include "qtbridge.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QCheckBox>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTreeView>
#include <QHeaderView>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using Kind = tk::MessageBoxRequest::Kind;

// Acts on the next modal dialog of type W as soon as it is up. Should the action leave the
// dialog open (a failed expectation before the click), it is rejected after a while so that
// the test fails instead of hanging.
template <class W>
void WhenModal(std::function<void(W*)> act)
{
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        auto* widget = qobject_cast<W*>(QApplication::activeModalWidget());
        if (!widget || !widget->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        QPointer<W> guard(widget);
        act(widget);
        QTimer::singleShot(5000, [guard] {
            if (guard && guard->isVisible()) {
                ADD_FAILURE() << "dialog left open";
                guard->reject();
            }
        });
    });
    timer->start();
}

QStringList ButtonTexts(QMessageBox* box)
{
    QStringList texts;
    for (QAbstractButton* button : box->buttons())
        texts << button->text();
    texts.sort();
    return texts;
}

QPushButton* ButtonWithText(QWidget* dialog, const QString& text)
{
    for (auto* button : dialog->findChildren<QPushButton*>())
        if (button->text() == text && button->isVisible())
            return button;
    return nullptr;
}

// Types text the way a keyboard with an input method delivers it, one character at a time.
void Type(QWidget* widget, const QString& text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
    }
}

std::string Utf8(const AnsiString& held) { return tk::ToUtf8(held); }

// No test answers: the real Qt dialogs run.
struct RealDialogs : ::testing::Test {
    ScopedModalAnswers none{tk::ModalAnswers{}};
};

// Tests that change the process's current folder put it back.
struct DialogsInTempFolder : ::testing::Test {
    QString previous = QDir::currentPath();
    QTemporaryDir temp;
    void SetUp() override { ASSERT_TRUE(QDir::setCurrent(temp.path())); }
    void TearDown() override { QDir::setCurrent(previous); }
    QString Path(const QString& name) const { return QDir(temp.path()).filePath(name); }
    void Touch(const QString& name) const
    {
        QFile file(Path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("x");
    }
};

} // namespace

// ---- message boxes ------------------------------------------------------------------------

TEST_F(RealDialogs, WarningBoxAsksOkOrCancel)
{
    WhenModal<QMessageBox>([](QMessageBox* box) {
        EXPECT_EQ(box->windowTitle().toStdString(), "警告");
        EXPECT_EQ(box->text().toStdString(), "けしますか？");
        EXPECT_EQ(box->icon(), QMessageBox::Warning);
        EXPECT_EQ(ButtonTexts(box), (QStringList{"OK", "キャンセル"}));
        QTest::keyClick(box, Qt::Key_Return); // OK is the default button
    });
    EXPECT_EQ(WarningBox(tk::Ansi("けしますか？")), mrOk);

    WhenModal<QMessageBox>([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
    EXPECT_EQ(WarningBox(tk::Ansi("a")), mrCancel);
    WhenModal<QMessageBox>([](QMessageBox* box) { box->close(); });
    EXPECT_EQ(WarningBox(tk::Ansi("a")), mrCancel);
}

TEST_F(RealDialogs, InformationBoxAsksYesOrNo)
{
    WhenModal<QMessageBox>([](QMessageBox* box) {
        EXPECT_EQ(box->windowTitle().toStdString(), "情報");
        EXPECT_EQ(box->icon(), QMessageBox::Information);
        EXPECT_EQ(ButtonTexts(box), (QStringList{"いいえ(&N)", "はい(&Y)"}));
        ButtonWithText(box, "はい(&Y)")->click();
    });
    EXPECT_EQ(InformationBox(tk::Ansi("よみこみます")), mrYes);

    WhenModal<QMessageBox>([](QMessageBox* box) { box->close(); });
    EXPECT_EQ(InformationBox(tk::Ansi("よみこみます")), mrNo);
}

TEST_F(RealDialogs, ErrorBoxHasTheRequestedCaptionAndOneOk)
{
    WhenModal<QMessageBox>([](QMessageBox* box) {
        EXPECT_EQ(box->windowTitle().toStdString(), "Pagora ");
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        EXPECT_EQ(ButtonTexts(box), QStringList{"OK"});
        box->close();
    });
    EXPECT_EQ(tk::ShowMessageBox({Kind::Error, "Pagora ", tk::Ansi("ファイルが見つかりません.")}), mrOk);
}

TEST(ModalAnswers, AnswerWithoutAWidgetAndAreRestoredAfterwards)
{
    {
        ModalScript script;
        script.messageAnswers = {mrCancel};
        EXPECT_EQ(WarningBox(tk::Ansi("けしますか？")), mrCancel);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        ASSERT_EQ(script.messages.size(), 1u);
        EXPECT_EQ(Utf8(script.messages[0].caption), "警告");
    }
    EXPECT_FALSE(tk::CurrentModalAnswers().messageBox);
}

// ---- input box ----------------------------------------------------------------------------

TEST_F(RealDialogs, InputBoxReturnsTheTypedText)
{
    WhenModal<QDialog>([](QDialog* dialog) {
        EXPECT_EQ(dialog->windowTitle().toStdString(), "ﾎﾞﾀﾝの文字");
        const auto labels = dialog->findChildren<QLabel*>();
        ASSERT_EQ(labels.size(), 1);
        EXPECT_EQ(labels[0]->text().toStdString(), "ﾎﾞﾀﾝの文字を入れてください");
        auto* edit = dialog->findChild<QLineEdit*>();
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->text().toStdString(), "ﾎﾞﾀﾝ1");
        edit->clear();
        Type(edit, "つぎ");
        ASSERT_NE(ButtonWithText(dialog, "キャンセル"), nullptr);
        QTest::keyClick(edit, Qt::Key_Return); // OK is the default button
    });
    const AnsiString typed = InputBox(tk::Ansi("ﾎﾞﾀﾝの文字"), tk::Ansi("ﾎﾞﾀﾝの文字を入れてください"),
                                      tk::Ansi("ﾎﾞﾀﾝ1"));
    EXPECT_EQ(Utf8(typed), "つぎ");

    // OK on an emptied field gives the empty text, not the default.
    WhenModal<QDialog>([](QDialog* dialog) {
        dialog->findChild<QLineEdit*>()->clear();
        ButtonWithText(dialog, "OK")->click();
    });
    EXPECT_EQ(InputBox("c", "p", "default"), "");
}

TEST_F(RealDialogs, InputBoxGivesTheDefaultOnCancelEscAndClose)
{
    const std::vector<std::function<void(QDialog*)>> cancels = {
        [](QDialog* d) { ButtonWithText(d, "キャンセル")->click(); },
        [](QDialog* d) { QTest::keyClick(d->findChild<QLineEdit*>(), Qt::Key_Escape); },
        [](QDialog* d) { d->close(); },
    };
    for (const auto& cancel : cancels) {
        WhenModal<QDialog>([cancel](QDialog* dialog) {
            QTest::keyClicks(dialog->findChild<QLineEdit*>(), "zzz");
            cancel(dialog);
        });
        EXPECT_EQ(InputBox("c", "p", "keep"), "keep");
    }
}

TEST_F(RealDialogs, InputBoxLimitsTheLengthInCharacters)
{
    WhenModal<QDialog>([](QDialog* dialog) {
        auto* edit = dialog->findChild<QLineEdit*>();
        EXPECT_EQ(edit->maxLength(), 5);
        Type(edit, "あいうえおかき");
        ButtonWithText(dialog, "OK")->click();
    });
    EXPECT_EQ(Utf8(InputBox("c", "p", "", 5)), "あいうえお");

    // An answered box holds to the same limit as the field.
    ModalScript script;
    script.inputAnswers = {tk::Ansi("あいうえおかき"), tk::Ansi("いち\r\nに")};
    EXPECT_EQ(Utf8(InputBox("c", "p", "", 5)), "あいうえお");
    EXPECT_EQ(script.inputs.at(0).maxLength, 5);
    EXPECT_EQ(Utf8(InputBox("c", "p", "")), "いち");
}

TEST_F(RealDialogs, InputBoxIsOneLineAndCutsWhatIsPastedAtItsFirstLineBreak)
{
    WhenModal<QDialog>([](QDialog* dialog) {
        auto* edit = dialog->findChild<QLineEdit*>();
        edit->setCursorPosition(1);
        QGuiApplication::clipboard()->setText(QStringLiteral("ぼ\r\nたん\nz"));
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(edit->text().toStdString(), "aぼb");
        EXPECT_EQ(edit->cursorPosition(), 2);
        // Over a selection, and a break first thing: nothing of it comes in.
        edit->setSelection(1, 1);
        QGuiApplication::clipboard()->setText(QStringLiteral("\nx"));
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(edit->text().toStdString(), "ab");
        ButtonWithText(dialog, "OK")->click();
    });
    EXPECT_EQ(Utf8(InputBox("c", "p", "ab")), "ab");
}

// ---- file dialogs, answered ---------------------------------------------------------------

namespace {
const char* const kWorkFilter = "kse(*.kse)|*.kse|all(*.*)|*.*";

std::unique_ptr<TSaveDialog> WorkSaveDialog()
{
    auto dialog = std::make_unique<TSaveDialog>(nullptr);
    dialog->Title = tk::Ansi("さくひんをほぞんします");
    dialog->Filter = kWorkFilter;
    dialog->DefaultExt = "kse";
    dialog->Options = ofOverwritePrompt | ofHideReadOnly;
    return dialog;
}
} // namespace

TEST_F(DialogsInTempFolder, SaveDialogCompletesTheNameMovesTheFolderAndOffersItNextTime)
{
    ASSERT_TRUE(QDir(temp.path()).mkdir("sub"));
    ModalScript script;
    script.fileAnswers = {AnsiString("sub\\story"), std::nullopt, AnsiString("a.txt")};
    auto dialog = WorkSaveDialog();
    ASSERT_TRUE(dialog->Execute());
    EXPECT_EQ(dialog->FileName, tk::FromQt(Path("sub/story.kse")));
    EXPECT_EQ(QDir::currentPath(), Path("sub"));
    const tk::FileDialogRequest& first = script.fileDialogs.at(0);
    EXPECT_EQ(Utf8(first.title), "さくひんをほぞんします");
    EXPECT_EQ(first.filter, kWorkFilter);
    EXPECT_EQ(first.fileName, "");

    // Cancel changes nothing; the name is offered again.
    EXPECT_FALSE(dialog->Execute());
    EXPECT_EQ(dialog->FileName, tk::FromQt(Path("sub/story.kse")));
    EXPECT_EQ(script.fileDialogs.at(1).fileName, dialog->FileName);

    // A name with an extension keeps it; relative names count from the new current folder.
    ASSERT_TRUE(dialog->Execute());
    EXPECT_EQ(dialog->FileName, tk::FromQt(Path("sub/a.txt")));
    EXPECT_TRUE(script.messages.empty()); // nothing there to overwrite
}

TEST_F(DialogsInTempFolder, OverwriteQuestionCancelEndsTheDialog)
{
    Touch("old.kse");
    ModalScript script;
    script.fileAnswers = {AnsiString("old"), AnsiString("old")};
    script.messageAnswers = {mrCancel, mrOk};
    auto dialog = WorkSaveDialog();
    dialog->FileName = "earlier";

    EXPECT_FALSE(dialog->Execute());
    EXPECT_EQ(dialog->FileName, "earlier");
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_EQ(script.messages[0].kind, Kind::Warning);
    EXPECT_EQ(Utf8(script.messages[0].text), "old.kse はもうあります。うわがきしますか？");

    EXPECT_TRUE(dialog->Execute());
    EXPECT_EQ(dialog->FileName, tk::FromQt(Path("old.kse")));
}

TEST_F(DialogsInTempFolder, NoQuestionWithoutTheOptionOrInAnOpenDialog)
{
    Touch("old.kse");
    ASSERT_TRUE(QDir(temp.path()).mkdir("sub"));
    ModalScript script;
    script.fileAnswers = {AnsiString("old.kse"), tk::FromQt(Path("sub/old.kse"))};
    auto save = WorkSaveDialog();
    save->Options = ofHideReadOnly;
    EXPECT_TRUE(save->Execute());
    TOpenDialog open(nullptr);
    open.Options = ofOverwritePrompt | ofNoChangeDir;
    EXPECT_TRUE(open.Execute());
    EXPECT_TRUE(script.messages.empty());
    EXPECT_EQ(QDir::currentPath(), temp.path()); // kept by ofNoChangeDir
}

// ---- file dialogs, real -------------------------------------------------------------------

TEST_F(RealDialogs, FileDialogShowsItsTitleAndSelectsTheFilter)
{
    TOpenDialog dialog(nullptr);
    dialog.Title = tk::Ansi("さくひんをよみこみます");
    dialog.Filter = kWorkFilter;
    WhenModal<QFileDialog>([](QFileDialog* shown) {
        EXPECT_EQ(shown->windowTitle().toStdString(), "さくひんをよみこみます");
        EXPECT_EQ(shown->acceptMode(), QFileDialog::AcceptOpen);
        EXPECT_EQ(shown->nameFilters().size(), 2);
        // The user sees each description exactly as given.
        auto* types = shown->findChild<QComboBox*>("fileTypeCombo");
        ASSERT_NE(types, nullptr);
        EXPECT_EQ(types->currentIndex(), 0);
        EXPECT_EQ(types->itemText(0).toStdString(), "kse(*.kse)");
        EXPECT_EQ(types->itemText(1).toStdString(), "all(*.*)");
        shown->reject();
    });
    EXPECT_FALSE(dialog.Execute());

    dialog.Title.clear();
    dialog.FilterIndex = 2;
    WhenModal<QFileDialog>([](QFileDialog* shown) {
        EXPECT_EQ(shown->windowTitle().toStdString(), "ひらく");
        EXPECT_EQ(shown->findChild<QComboBox*>("fileTypeCombo")->currentIndex(), 1);
        shown->reject();
    });
    EXPECT_FALSE(dialog.Execute());
}

TEST_F(DialogsInTempFolder, FileListWritesSizesAndDatesInJapaneseInColumnsWideEnoughToRead)
{
    ScopedModalAnswers none{tk::ModalAnswers{}};
    QFile file(Path("work.kse"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(1930, 'x'));
    file.close();
    const QDateTime modified = QFileInfo(Path("work.kse")).lastModified();

    TOpenDialog dialog(nullptr);
    WhenModal<QFileDialog>([&](QFileDialog* shown) {
        auto* view = shown->findChild<QTreeView*>("treeView");
        ASSERT_NE(view, nullptr);
        QAbstractItemModel* list = view->model();
        ASSERT_TRUE(QTest::qWaitFor([&] { return list->rowCount(view->rootIndex()) == 1; }, 5000));
        const QString size = list->index(0, 1, view->rootIndex()).data().toString();
        const QString date = list->index(0, 3, view->rootIndex()).data().toString();
        EXPECT_EQ(size.toStdString(), "1.9 KB");
        EXPECT_EQ(date, QLocale(QLocale::Japanese).toString(modified, QLocale::ShortFormat));
        for (int column : {1, 2, 3}) {
            const QString text = list->index(0, column, view->rootIndex()).data().toString();
            EXPECT_GE(view->header()->sectionSize(column), view->fontMetrics().horizontalAdvance(text)) << column;
        }
        shown->reject();
    });
    EXPECT_FALSE(dialog.Execute());
}

TEST_F(RealDialogs, QtsOwnDialogsKeepNoSettings)
{
    WhenModal<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
    TOpenDialog dialog(nullptr);
    EXPECT_FALSE(dialog.Execute());
    // Where Qt's dialogs would keep their folders and columns, nothing can be stored.
    QSettings settings(QSettings::UserScope, QStringLiteral("QtProject"));
    EXPECT_FALSE(QFileInfo::exists(settings.fileName()));
    settings.setValue(QStringLiteral("probe"), 1);
    settings.sync();
    EXPECT_NE(settings.status(), QSettings::NoError);
}

TEST_F(DialogsInTempFolder, RealSaveDialogAddsTheExtensionAndAsksBeforeOverwriting)
{
    Touch("taken.kse");
    int questions = 0;
    tk::ModalAnswers answers;
    answers.messageBox = [&](const tk::MessageBoxRequest&) { return ++questions == 1 ? mrCancel : mrOk; };
    ScopedModalAnswers scope(answers);

    auto dialog = WorkSaveDialog();
    WhenModal<QFileDialog>([](QFileDialog* shown) {
        EXPECT_EQ(shown->acceptMode(), QFileDialog::AcceptSave);
        shown->selectFile("taken");
        static_cast<QDialog*>(shown)->accept();
        // Cancel in the question keeps the user in the dialog.
        EXPECT_TRUE(shown->isVisible());
        shown->selectFile("fresh");
        static_cast<QDialog*>(shown)->accept();
    });
    ASSERT_TRUE(dialog->Execute());
    EXPECT_EQ(questions, 1);
    EXPECT_EQ(dialog->FileName, tk::FromQt(Path("fresh.kse")));
}

TEST_F(DialogsInTempFolder, AFailureInTheDialogsOkStepIsShownAndLeavesTheUserInTheDialog)
{
    Touch("taken.kse");
    std::vector<tk::MessageBoxRequest> shown;
    tk::ModalAnswers answers;
    answers.messageBox = [&](const tk::MessageBoxRequest& request) -> int {
        shown.push_back(request);
        if (request.kind == Kind::Warning)
            throw Exception("no question today");
        return mrOk;
    };
    ScopedModalAnswers scope(answers);
    Application->SetTitle("Pagora ");

    auto dialog = WorkSaveDialog();
    WhenModal<QFileDialog>([](QFileDialog* shown) {
        shown->selectFile("taken");
        static_cast<QDialog*>(shown)->accept();
        EXPECT_TRUE(shown->isVisible());
        shown->selectFile("fresh");
        static_cast<QDialog*>(shown)->accept();
    });
    ASSERT_TRUE(dialog->Execute());
    EXPECT_EQ(dialog->FileName, tk::FromQt(Path("fresh.kse")));
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].kind, Kind::Error);
    EXPECT_EQ(shown[1].caption, "Pagora ");
    EXPECT_EQ(shown[1].text, "no question today.");
}

TEST_F(DialogsInTempFolder, PictureDialogPreviewsTheSelectedTypedAndOfferedPictures)
{
    ScopedModalAnswers none{tk::ModalAnswers{}};
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(Path("red.bmp")));
    Touch("broken.bmp");

    TOpenPictureDialog dialog(nullptr);
    WhenModal<QFileDialog>([this](QFileDialog* shown) {
        auto shownPicture = [shown]() -> QPixmap {
            for (auto* label : shown->findChildren<QLabel*>())
                if (!label->pixmap().isNull())
                    return label->pixmap();
            return {};
        };
        emit shown->currentChanged(Path("red.bmp"));
        EXPECT_EQ(shownPicture().size(), QSize(40, 30));
        emit shown->currentChanged(Path("broken.bmp"));
        EXPECT_TRUE(shownPicture().isNull());
        // A typed name is previewed too.
        shown->findChild<QLineEdit*>("fileNameEdit")->setText("red.bmp");
        EXPECT_EQ(shownPicture().size(), QSize(40, 30));
        shown->reject();
    });
    EXPECT_FALSE(dialog.Execute());

    // So is the name the dialog opens with.
    dialog.FileName = tk::FromQt(Path("red.bmp"));
    WhenModal<QFileDialog>([](QFileDialog* shown) {
        bool previewed = false;
        for (auto* label : shown->findChildren<QLabel*>())
            previewed |= label->pixmap().size() == QSize(40, 30);
        EXPECT_TRUE(previewed);
        shown->reject();
    });
    EXPECT_FALSE(dialog.Execute());
}

// ---- font dialog --------------------------------------------------------------------------

namespace {

QCheckBox* StyleBox(QWidget* dialog, const QString& text)
{
    for (auto* box : dialog->findChildren<QCheckBox*>())
        if (box->text() == text)
            return box;
    ADD_FAILURE() << "no check box " << text.toStdString();
    return nullptr;
}

} // namespace

TEST_F(RealDialogs, FontDialogOpensWithItsFontAndKeepsWhatIsLeftAlone)
{
    TFontDialog dialog(nullptr);
    WhenModal<QDialog>([](QDialog* shown) {
        EXPECT_EQ(shown->windowTitle().toStdString(), "フォント");
        auto* size = shown->findChild<QComboBox*>("size");
        ASSERT_NE(size, nullptr);
        EXPECT_EQ(size->currentText(), "9");
        EXPECT_FALSE(StyleBox(shown, "ふとじ(&B)")->isChecked());
        ASSERT_NE(ButtonWithText(shown, "キャンセル"), nullptr);
        ButtonWithText(shown, "OK")->click();
    });
    ASSERT_TRUE(dialog.Execute());
    // The face shown through its substitute is still held by its Windows name, and the
    // colour is still the system's window-text colour.
    EXPECT_EQ(Utf8(dialog.Font()->Name()), "ＭＳ Ｐゴシック");
    EXPECT_EQ(dialog.Font()->Height(), -12);
    EXPECT_EQ(dialog.Font()->Color(), clWindowText);
    EXPECT_EQ(dialog.Font()->Style(), 0u);

    // Bold and underline on a face that has no bold style of its own.
    WhenModal<QDialog>([](QDialog* shown) {
        StyleBox(shown, "ふとじ(&B)")->setChecked(true);
        StyleBox(shown, "したせん(&U)")->setChecked(true);
        shown->findChild<QComboBox*>("size")->setCurrentText("20");
        ButtonWithText(shown, "OK")->click();
    });
    ASSERT_TRUE(dialog.Execute());
    EXPECT_EQ(dialog.Font()->Style(), unsigned(fsBold | fsUnderline));
    EXPECT_EQ(dialog.Font()->Size(), 20);

    // The next time it opens with that font; Cancel leaves it as the last OK left it.
    WhenModal<QDialog>([](QDialog* shown) {
        EXPECT_TRUE(StyleBox(shown, "ふとじ(&B)")->isChecked());
        StyleBox(shown, "ななめ(&I)")->setChecked(true);
        QTest::keyClick(shown, Qt::Key_Escape);
    });
    EXPECT_FALSE(dialog.Execute());
    EXPECT_EQ(dialog.Font()->Style(), unsigned(fsBold | fsUnderline));

    // Another face is held by its own name.
    QString other;
    WhenModal<QDialog>([&other](QDialog* shown) {
        auto* face = shown->findChild<QComboBox*>("face");
        ASSERT_NE(face, nullptr);
        face->setCurrentIndex(4);
        other = face->currentText();
        ButtonWithText(shown, "OK")->click();
    });
    ASSERT_TRUE(dialog.Execute());
    EXPECT_EQ(dialog.Font()->Name(), tk::FromQt(other));
}

TEST_F(RealDialogs, FontDialogOffersTheJapaneseFacesUnderTheirWindowsNames)
{
    const QStringList windowsFaces = {"ＭＳ Ｐゴシック", "ＭＳ ゴシック", "ＭＳ 明朝", "ＭＳ Ｐ明朝"};
    TFontDialog dialog(nullptr);
    WhenModal<QDialog>([&](QDialog* shown) {
        auto* face = shown->findChild<QComboBox*>("face");
        ASSERT_NE(face, nullptr);
        EXPECT_EQ(face->currentText(), "ＭＳ Ｐゴシック");
        QStringList offered;
        for (int i = 0; i < face->count(); ++i)
            offered << face->itemText(i);
        EXPECT_EQ(offered.mid(0, 4), windowsFaces);
        EXPECT_GT(offered.size(), 4);
        // Each drawn with its IPA font, which is not offered under its own name; no symbol
        // fonts, no foundries.
        EXPECT_EQ(face->itemData(2, Qt::FontRole).value<QFont>().family(), "IPAMincho");
        for (const QString& family : offered) {
            EXPECT_FALSE(family.startsWith("IPA")) << family.toStdString();
            EXPECT_FALSE(family.contains('[')) << family.toStdString();
            EXPECT_FALSE(QFontDatabase::writingSystems(family).contains(QFontDatabase::Symbol)) << family.toStdString();
        }
        face->setCurrentIndex(2);
        ButtonWithText(shown, "OK")->click();
    });
    ASSERT_TRUE(dialog.Execute());
    EXPECT_EQ(Utf8(dialog.Font()->Name()), "ＭＳ 明朝");

    // The records' default spelling, without the blank, shows as that face and is kept when
    // the face is left alone.
    dialog.Font()->SetName(tk::FromUtf8("ＭＳ明朝"));
    WhenModal<QDialog>([](QDialog* shown) {
        EXPECT_EQ(shown->findChild<QComboBox*>("face")->currentText(), "ＭＳ 明朝");
        ButtonWithText(shown, "OK")->click();
    });
    ASSERT_TRUE(dialog.Execute());
    EXPECT_EQ(Utf8(dialog.Font()->Name()), "ＭＳ明朝");
}

// ---- printing -----------------------------------------------------------------------------

namespace {

// The extent of the non-white pixels of a page rendered by pdftoppm at 96 dpi.
std::optional<QRect> InkOnPage(const QString& pdf, const QString& folder)
{
    const QString pdftoppm = QStandardPaths::findExecutable("pdftoppm");
    if (pdftoppm.isEmpty())
        return std::nullopt;
    const QString stem = QDir(folder).filePath("page");
    QProcess process;
    process.start(pdftoppm, {"-r", "96", "-png", "-singlefile", pdf, stem});
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return QRect();
    const QImage page(stem + ".png");
    QRect ink;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            if (qGray(page.pixel(x, y)) < 200)
                ink |= QRect(x, y, 1, 1);
    return ink;
}

} // namespace

TEST_F(DialogsInTempFolder, PrintsTheImageAtThePageTopLeftAtScreenSize)
{
    ModalScript script;
    script.printAnswers = {Path("out.pdf").toStdString()};
    TPrintDialog dialog(nullptr);
    ASSERT_TRUE(dialog.Execute());
    QImage image(192, 96, QImage::Format_RGB32);
    image.fill(Qt::black);
    tk::PrintImage(image);
    ASSERT_TRUE(QFileInfo::exists(Path("out.pdf")));
    EXPECT_GT(QFileInfo(Path("out.pdf")).size(), 0);

    const std::optional<QRect> ink = InkOnPage(Path("out.pdf"), temp.path());
    if (!ink)
        GTEST_SKIP() << "pdftoppm is not installed; the page was not looked at";
    // At 96 dpi the printout is as large as the image, in the top-left corner of the page
    // (inside the printer's margin), not centred and not fitted.
    EXPECT_NEAR(ink->width(), 192, 2);
    EXPECT_NEAR(ink->height(), 96, 2);
    EXPECT_LT(ink->left(), 96);
    EXPECT_LT(ink->top(), 96);
}

TEST_F(DialogsInTempFolder, CancelledPrintDialogKeepsThePrinterChosenBefore)
{
    ModalScript script;
    script.printAnswers = {Path("first.pdf").toStdString(), std::nullopt};
    TPrintDialog dialog(nullptr);
    ASSERT_TRUE(dialog.Execute());
    EXPECT_FALSE(dialog.Execute());
    EXPECT_EQ(script.printDialogs, 2);
    EXPECT_FALSE(QFileInfo::exists(Path("first.pdf")));

    QImage image(10, 10, QImage::Format_RGB32);
    image.fill(Qt::black);
    tk::PrintImage(image);
    EXPECT_TRUE(QFileInfo::exists(Path("first.pdf")));
}

// ---- help viewer --------------------------------------------------------------------------

TEST_F(DialogsInTempFolder, HelpViewerShowsTheFileInItsOwnWindow)
{
    ASSERT_TRUE(QDir(temp.path()).mkdir("help"));
    QFile file(Path("help/pagoraed.hlp"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<html><body><h1>つかいかた</h1><p>えを いれます</p></body></html>");
    file.close();

    // A held path with "\" separators, as the programs build it.
    const AnsiString held = tk::FromQt(temp.path()) + "\\help\\pagoraed.hlp";
    tk::ShowHelpContents(held);
    EXPECT_EQ(tk::HelpViewerShownFile(), held);
    auto* viewer = qobject_cast<QTextBrowser*>(tk::HelpViewerWindow());
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_EQ(viewer->windowTitle().toStdString(), "ヘルプ");
    EXPECT_TRUE(viewer->toPlainText().contains("えを いれます"));
    viewer->close();
}

TEST_F(DialogsInTempFolder, HelpViewerReportsAMissingFileInItsOwnBox)
{
    ModalScript script;
    const AnsiString before = tk::HelpViewerShownFile();
    // Held with "\" before the name, as the programs build it; shown as the system writes it.
    const AnsiString missing = tk::FromQt(temp.path()) + "\\nothere.hlp";
    tk::ShowHelpContents(missing);
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_EQ(script.messages[0].kind, Kind::Error);
    EXPECT_EQ(Utf8(script.messages[0].caption), "ヘルプ");
    EXPECT_EQ(Utf8(script.messages[0].text), "ヘルプのファイル " + Path("nothere.hlp").toStdString() + " が みつかりません");
    EXPECT_EQ(tk::HelpViewerShownFile(), before);

    // A folder by that name is no help file either.
    ASSERT_TRUE(QDir(temp.path()).mkdir("folder.hlp"));
    tk::ShowHelpContents(tk::FromQt(Path("folder.hlp")));
    EXPECT_EQ(script.messages.size(), 2u);
}
