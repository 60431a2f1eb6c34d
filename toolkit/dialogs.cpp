// Modal boxes, file, font and print dialogs, and printing an image.
//
// Every kind of modal interaction passes one entry point here, so that tests can answer it
// through tk::SetModalAnswers; without an answer the real Qt dialog runs. The boxes are built
// with our own buttons rather than Qt's standard ones, so their words are exactly ours and do
// not depend on which Qt translation is installed.
#include "dialogs.h"

#include "forms.h"
#include "qtbridge.h"

#include <QApplication>
#include <algorithm>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QTreeView>
#include <QVBoxLayout>

#include <memory>

namespace tk {

namespace {

ModalAnswers& Answers()
{
    static ModalAnswers answers;
    return answers;
}

// Boxes open over the window the user is working in, so they are centred on it.
QWidget* DialogParent() { return QApplication::activeWindow(); }

int RunMessageBox(const MessageBoxRequest& request)
{
    QMessageBox box(DialogParent());
    box.setWindowTitle(ToQt(request.caption));
    box.setText(ToQt(request.text));
    QAbstractButton* affirm = nullptr;
    QAbstractButton* decline = nullptr;
    switch (request.kind) {
    case MessageBoxRequest::Kind::Warning:
        box.setIcon(QMessageBox::Warning);
        affirm = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        decline = box.addButton(QStringLiteral("キャンセル"), QMessageBox::RejectRole);
        break;
    case MessageBoxRequest::Kind::Information:
        box.setIcon(QMessageBox::Information);
        affirm = box.addButton(QStringLiteral("はい(&Y)"), QMessageBox::YesRole);
        decline = box.addButton(QStringLiteral("いいえ(&N)"), QMessageBox::NoRole);
        break;
    case MessageBoxRequest::Kind::Error:
        box.setIcon(QMessageBox::Critical);
        affirm = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        decline = affirm;
        break;
    }
    box.setDefaultButton(qobject_cast<QPushButton*>(affirm));
    // The escape button is also what the close box presses; without one QMessageBox would
    // refuse to close from the frame.
    box.setEscapeButton(decline);
    box.exec();
    const bool affirmed = box.clickedButton() == affirm;
    switch (request.kind) {
    case MessageBoxRequest::Kind::Information:
        return affirmed ? mrYes : mrNo;
    case MessageBoxRequest::Kind::Error:
        return mrOk;
    default:
        return affirmed ? mrOk : mrCancel;
    }
}

// What a one-line field keeps of a text: everything before its first line break.
QString FirstLine(const QString& text)
{
    static const QRegularExpression lineBreak(QStringLiteral("[\\r\\n]"));
    const qsizetype at = text.indexOf(lineBreak);
    return at < 0 ? text : text.left(at);
}

// A one-line field as Windows has it: text that comes in with a line break (pasted, dropped, the
// selection of another program) is cut at its first break, whichever way it came in.
class SingleLineEdit : public QLineEdit {
public:
    explicit SingleLineEdit(QWidget* parent) : QLineEdit(parent)
    {
        QObject::connect(this, &QLineEdit::textChanged, [this](const QString& text) {
            if (!cutting_)
                before_ = text;
        });
        QObject::connect(this, &QLineEdit::textEdited, [this](const QString& text) { CutAtLineBreak(text); });
    }

private:
    void CutAtLineBreak(const QString& after)
    {
        if (FirstLine(after).size() == after.size())
            return;
        // What came in ends at the caret; what follows the caret was there before, and so was
        // whatever the old and the new text share before it.
        const qsizetype caret = cursorPosition();
        const qsizetype kept = after.size() - caret;
        const qsizetype limit = std::min<qsizetype>(caret, std::max<qsizetype>(before_.size() - kept, 0));
        qsizetype start = 0;
        while (start < limit && before_[start] == after[start])
            ++start;
        const QString inserted = FirstLine(after.mid(start, caret - start));
        cutting_ = true;
        setText(FirstLine(after.left(start) + inserted + after.mid(caret)));
        setCursorPosition(std::min<qsizetype>(start + inserted.size(), text().size()));
        cutting_ = false;
        before_ = text();
    }

    QString before_;
    bool cutting_ = false;
};

QString RunInputBox(const InputBoxRequest& request, bool& accepted)
{
    QDialog dialog(DialogParent());
    dialog.setWindowTitle(ToQt(request.caption));
    auto* layout = new QVBoxLayout(&dialog);
    auto* prompt = new QLabel(ToQt(request.prompt), &dialog);
    layout->addWidget(prompt);
    auto* edit = new SingleLineEdit(&dialog);
    if (request.maxLength > 0)
        edit->setMaxLength(request.maxLength);
    edit->setText(ToQt(request.defaultValue));
    edit->selectAll();
    edit->setMinimumWidth(300);
    layout->addWidget(edit);
    prompt->setBuddy(edit);

    auto* buttons = new QDialogButtonBox(&dialog);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);

    // QDialog itself answers Esc and the close box with reject.
    accepted = dialog.exec() == QDialog::Accepted;
    return edit->text();
}

// What an input field can hold of a text: the field is one line, so the text ends at its first
// line break, and its length limit counts characters, which here are UTF-16 units (every
// character a held string can carry is one unit).
AnsiString AsFieldHolds(const AnsiString& text, int maxLength)
{
    QString wide = FirstLine(ToQt(text));
    if (maxLength > 0 && wide.size() > maxLength)
        wide.truncate(maxLength);
    return FromQt(wide);
}

} // namespace

void SetModalAnswers(ModalAnswers answers) { Answers() = std::move(answers); }

const ModalAnswers& CurrentModalAnswers() { return Answers(); }

int ShowMessageBox(const MessageBoxRequest& request)
{
    if (Answers().messageBox)
        return Answers().messageBox(request);
    return RunMessageBox(request);
}

} // namespace tk

int WarningBox(const AnsiString& text)
{
    return tk::ShowMessageBox({tk::MessageBoxRequest::Kind::Warning, tk::Ansi("警告"), text});
}

int InformationBox(const AnsiString& text)
{
    return tk::ShowMessageBox({tk::MessageBoxRequest::Kind::Information, tk::Ansi("情報"), text});
}

AnsiString InputBox(const AnsiString& caption, const AnsiString& prompt, const AnsiString& defaultValue,
                    int maxLength)
{
    const tk::InputBoxRequest request{caption, prompt, defaultValue, maxLength};
    if (tk::CurrentModalAnswers().inputBox) {
        const std::optional<AnsiString> typed = tk::CurrentModalAnswers().inputBox(request);
        return typed ? tk::AsFieldHolds(*typed, maxLength) : defaultValue;
    }
    bool accepted = false;
    const QString typed = tk::RunInputBox(request, accepted);
    return accepted ? tk::FromQt(typed) : defaultValue;
}

// ---- file dialogs -------------------------------------------------------------------------

namespace {

// "description|pattern|description|pattern" as Qt name filters. The description is kept
// whole and the patterns are repeated in Qt's own "(...)" form, which the dialog hides, so the
// user sees exactly the description. Patterns are separated by ";" in the held form and by
// blanks in Qt's. The split is done on the Unicode text: in code page 932 "|" can be the
// second byte of a double-byte character (ポ is 0x83 0x7C).
QStringList NameFilters(const AnsiString& filter)
{
    QStringList filters;
    if (filter.empty())
        return filters;
    const QStringList parts = tk::ToQt(filter).split(u'|');
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        QStringList patterns;
        if (i + 1 < parts.size())
            for (const QString& pattern : parts[i + 1].split(u';', Qt::SkipEmptyParts))
                patterns << pattern.trimmed();
        patterns.removeAll(QString());
        if (patterns.isEmpty())
            patterns << QStringLiteral("*");
        filters << parts[i] + QStringLiteral(" (") + patterns.join(u' ') + u')';
    }
    return filters;
}

// What becomes of a name the user typed or picked: a relative name is taken against the
// current folder, and the default extension is added when the name's last part has no dot.
// Both the real dialog and the test answers pass through here.
QString CompleteFileName(const AnsiString& typed, const AnsiString& defaultExt)
{
    QString path = QString::fromStdString(tk::NativePath(typed));
    if (QDir::isRelativePath(path))
        path = QDir::current().filePath(path);
    path = QDir::cleanPath(path);
    if (!defaultExt.empty() && !QFileInfo(path).fileName().contains(u'.')) {
        QString ext = tk::ToQt(defaultExt);
        if (!ext.startsWith(u'.'))
            ext.prepend(u'.');
        path += ext;
    }
    return path;
}

bool AskOverwrite(const QString& path)
{
    const QString text = QFileInfo(path).fileName() + QStringLiteral(" はもうあります。うわがきしますか？");
    return tk::ShowMessageBox({tk::MessageBoxRequest::Kind::Warning, tk::Ansi("警告"), tk::FromQt(text)})
        == mrOk;
}

bool NeedsOverwriteQuestion(TOpenDialog::Kind kind, TOpenOptions options, const QString& path)
{
    const QFileInfo info(path);
    return kind == TOpenDialog::Kind::Save && (options & ofOverwritePrompt) && info.exists() && !info.isDir();
}

// The columns of Qt's file list.
enum FileColumn { NameColumn, SizeColumn, TypeColumn, DateColumn };

// Qt's file list writes sizes and dates in the form of the desktop's own locale, whatever
// language that is; here they take the program's Japanese form, like the rest of the dialog,
// and sizes count in KB and MB as Windows writes them.
class JapaneseFileList : public QIdentityProxyModel {
public:
    explicit JapaneseFileList(QObject* parent) : QIdentityProxyModel(parent) {}

    QVariant data(const QModelIndex& index, int role) const override
    {
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (role != Qt::DisplayRole || !files)
            return QIdentityProxyModel::data(index, role);
        const QModelIndex file = mapToSource(index);
        switch (index.column()) {
        case SizeColumn:
            if (files->isDir(file))
                return QString();
            return QLocale().formattedDataSize(files->size(file), 1, QLocale::DataSizeTraditionalFormat);
        case DateColumn:
            return QLocale().toString(files->lastModified(file), QLocale::ShortFormat);
        default:
            return QIdentityProxyModel::data(index, role);
        }
    }
};

// Columns wide enough for what they show; the name takes the rest of the list's width.
void FitColumns(QFileDialog& dialog)
{
    auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    if (!view)
        return;
    const QFontMetrics metrics(view->font());
    const int padding = metrics.height();
    const QLocale locale;
    QHeaderView* header = view->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
    const std::pair<FileColumn, QString> widest[] = {
        {SizeColumn, locale.formattedDataSize(999'900'000, 1, QLocale::DataSizeTraditionalFormat)},
        // The type of a work file, which the desktop takes for plain text.
        {TypeColumn, QStringLiteral("平文テキストドキュメント")},
        {DateColumn, locale.toString(QDateTime(QDate(2000, 12, 31), QTime(23, 59)), QLocale::ShortFormat)},
    };
    for (const auto& [column, text] : widest) {
        header->setSectionResizeMode(column, QHeaderView::Interactive);
        header->resizeSection(column, metrics.horizontalAdvance(text) + padding);
    }
}

// Qt's dialog with our completion and our overwrite question in its accept step, so that
// answering the question with Cancel leaves the user in the dialog to pick another name.
class FileDialog : public QFileDialog {
public:
    FileDialog(QWidget* parent, TOpenDialog::Kind kind, TOpenOptions options, AnsiString defaultExt)
        : QFileDialog(parent), kind_(kind), options_(options), defaultExt_(std::move(defaultExt))
    {
        setOption(QFileDialog::DontUseNativeDialog);
        setOption(QFileDialog::DontConfirmOverwrite);
        setOption(QFileDialog::HideNameFilterDetails);
        setAcceptMode(kind == TOpenDialog::Kind::Save ? AcceptSave : AcceptOpen);
        setFileMode((options & ofFileMustExist) ? ExistingFile : AnyFile);
        setSizeGripEnabled(true);
        setProxyModel(new JapaneseFileList(this));
        FitColumns(*this);
        resize(700, 460);
    }

    QString Chosen() const { return chosen_; }

    // Called by Qt for the OK button: nothing may leave it but a return. A failure shows the
    // error box and leaves the user in the dialog.
    void accept() override
    {
        bool accepted = false;
        tk::Dispatch([&] {
            const QStringList files = selectedFiles();
            // A folder typed into the name field is opened by Qt's own accept.
            if (files.size() == 1 && !QFileInfo(files.first()).isDir()) {
                const QString path = CompleteFileName(tk::FromQt(files.first()), defaultExt_);
                if (NeedsOverwriteQuestion(kind_, options_, path) && !AskOverwrite(path))
                    return;
                chosen_ = path;
            }
            accepted = true;
        });
        if (accepted)
            QFileDialog::accept();
    }

private:
    TOpenDialog::Kind kind_;
    TOpenOptions options_;
    AnsiString defaultExt_;
    QString chosen_;
};

// The picture preview beside the file list of the picture dialog: of the file selected in
// the list, of the name typed, and of the name the dialog opens with.
void AddPicturePreview(QFileDialog& dialog)
{
    auto* grid = qobject_cast<QGridLayout*>(dialog.layout());
    if (!grid)
        return;
    constexpr int box = 160;
    auto* preview = new QLabel(&dialog);
    preview->setFixedSize(box, box);
    preview->setAlignment(Qt::AlignCenter);
    preview->setFrameShape(QFrame::StyledPanel);
    grid->addWidget(preview, 1, grid->columnCount(), 1, 1);
    dialog.resize(dialog.width() + box + grid->horizontalSpacing(), dialog.height());
    auto shown = std::make_shared<QString>();
    auto show = [preview, shown](const QString& path) {
        // A click in the list both selects the file and types its name: one decoding.
        if (path == *shown)
            return;
        *shown = path;
        preview->clear();
        if (!QFileInfo(path).isFile())
            return;
        // The same decoders as the picture controls; a file they refuse shows no preview.
        try {
            TPicture picture;
            picture.SetTargetSize(box, box);
            picture.LoadFromFile(tk::FromQt(path));
            const QImage& image = picture.impl().image;
            if (image.isNull())
                return;
            const QImage scaled = image.width() > box || image.height() > box
                ? image.scaled(box, box, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                : image;
            preview->setPixmap(QPixmap::fromImage(scaled));
        } catch (...) {
        }
    };
    QObject::connect(&dialog, &QFileDialog::currentChanged, preview, show);
    auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (!name)
        return;
    auto showTyped = [&dialog, show](const QString& typed) {
        show(typed.isEmpty() ? QString() : dialog.directory().filePath(typed));
    };
    QObject::connect(name, &QLineEdit::textChanged, preview, showTyped);
    showTyped(name->text());
}

QString DefaultTitle(TOpenDialog::Kind kind)
{
    return kind == TOpenDialog::Kind::Save ? QStringLiteral("ほぞん") : QStringLiteral("ひらく");
}

} // namespace

TOpenDialog::TOpenDialog(TComponent* owner, Kind kind) : TComponent(owner), kind_(kind) {}

bool TOpenDialog::Execute()
{
    QString chosen;
    if (tk::CurrentModalAnswers().fileDialog) {
        const std::optional<AnsiString> typed = tk::CurrentModalAnswers().fileDialog(
            {kind_, Title, Filter, FilterIndex, DefaultExt, FileName, Options});
        // The real dialog never accepts an empty name.
        if (!typed || typed->empty())
            return false;
        chosen = CompleteFileName(*typed, DefaultExt);
        if (NeedsOverwriteQuestion(kind_, Options, chosen) && !AskOverwrite(chosen))
            return false;
    } else {
        FileDialog dialog(tk::DialogParent(), kind_, Options, DefaultExt);
        dialog.setWindowTitle(Title.empty() ? DefaultTitle(kind_) : tk::ToQt(Title));
        const QStringList filters = NameFilters(Filter);
        if (!filters.isEmpty()) {
            dialog.setNameFilters(filters);
            dialog.selectNameFilter(filters.value(FilterIndex - 1, filters.first()));
        }
        dialog.setDirectory(QDir::current());
        if (!FileName.empty()) {
            const QFileInfo offered(CompleteFileName(FileName, AnsiString()));
            dialog.setDirectory(offered.absolutePath());
            dialog.selectFile(offered.fileName());
        }
        if (kind_ == Kind::OpenPicture)
            AddPicturePreview(dialog);
        if (dialog.exec() != QDialog::Accepted || dialog.Chosen().isEmpty())
            return false;
        chosen = dialog.Chosen();
    }
    FileName = tk::FromQt(chosen);
    if (!(Options & ofNoChangeDir))
        tk::SetCurrentDir(tk::FromQt(QFileInfo(chosen).absolutePath()));
    return true;
}

// ---- font dialog --------------------------------------------------------------------------

namespace {

TColor FromQColor(const QColor& color)
{
    return static_cast<TColor>(color.red() | (color.green() << 8) | (color.blue() << 16));
}

// The faces the dialog offers: the Japanese Windows faces under their Windows names first,
// each drawn with the IPA font that stands in for it, then the other installed families by
// their family names. The IPA fonts themselves are not offered again under their own names (a
// reader of the work file elsewhere knows only the Windows names), nor are symbol fonts, which
// cannot draw the text, nor the families the system keeps to itself.
QStringList OfferedFaces()
{
    QStringList faces = tk::JapaneseWindowsFaces();
    QStringList substitutes;
    for (const QString& face : faces)
        substitutes << tk::SubstituteFace(face);
    // A family installed by more than one foundry is listed by Qt once per foundry, as
    // "Family [foundry]"; a face name is the family alone.
    static const QRegularExpression foundry(QStringLiteral(" \\[[^\\]]*\\]$"));
    for (const QString& listed : QFontDatabase::families()) {
        if (QFontDatabase::isPrivateFamily(listed) ||
            QFontDatabase::writingSystems(listed).contains(QFontDatabase::Symbol))
            continue;
        const QString family = QString(listed).remove(foundry);
        if (!substitutes.contains(family) && !faces.contains(family))
            faces << family;
    }
    return faces;
}

// The offered face that shows a held face name: the same name, the Windows face of the same
// IPA font (the records' "ＭＳ明朝" is "ＭＳ 明朝"), or the family the name is drawn with.
int ShownFace(const QStringList& faces, const TFont& font)
{
    const QString held = tk::ToQt(font.Name());
    int index = faces.indexOf(held);
    for (int i = 0; index < 0 && i < tk::JapaneseWindowsFaces().size(); ++i)
        if (tk::SubstituteFace(faces[i]) == tk::SubstituteFace(held))
            index = i;
    if (index < 0)
        index = faces.indexOf(QFontInfo(tk::ToQFont(font)).family());
    return std::max(index, 0);
}

// Our own small font dialog. Qt's has no colour, and it offers bold and italic only for
// faces that have such styles installed, which the IPA fonts standing in for the Japanese
// Windows faces do not; here every face can be made bold or italic, as the screen draws them
// anyway.
class FontChooser : public QDialog {
public:
    FontChooser(QWidget* parent, const TFont& font) : QDialog(parent), color_(tk::ToQColor(font.Color()))
    {
        setWindowTitle(QStringLiteral("フォント"));
        auto* form = new QFormLayout;
        face_ = new QComboBox(this);
        face_->setObjectName(QStringLiteral("face"));
        const QStringList faces = OfferedFaces();
        for (const QString& face : faces) {
            QFont drawnWith = face_->font();
            drawnWith.setFamily(tk::SubstituteFace(face));
            face_->addItem(face);
            face_->setItemData(face_->count() - 1, drawnWith, Qt::FontRole);
        }
        shownFace_ = ShownFace(faces, font);
        face_->setCurrentIndex(shownFace_);
        form->addRow(QStringLiteral("かたち(&F)"), face_);

        size_ = new QComboBox(this);
        size_->setObjectName(QStringLiteral("size"));
        size_->setEditable(true);
        for (int points : {8, 9, 10, 11, 12, 14, 16, 18, 20, 22, 24, 26, 28, 36, 48, 72})
            size_->addItem(QString::number(points));
        size_->setValidator(new QIntValidator(1, 999, size_));
        size_->setCurrentText(QString::number(font.Size()));
        form->addRow(QStringLiteral("おおきさ(&S)"), size_);

        const std::pair<TFontStyle, const char16_t*> styles[] = {
            {fsBold, u"ふとじ(&B)"}, {fsItalic, u"ななめ(&I)"}, {fsUnderline, u"したせん(&U)"},
            {fsStrikeOut, u"けしせん(&K)"}};
        auto* styleRow = new QHBoxLayout;
        for (const auto& [style, text] : styles) {
            auto* box = new QCheckBox(QString::fromUtf16(text), this);
            box->setChecked(font.Style() & style);
            styleBoxes_.push_back({style, box});
            styleRow->addWidget(box);
            connect(box, &QCheckBox::toggled, this, &FontChooser::UpdateSample);
        }
        form->addRow(QStringLiteral("スタイル"), styleRow);

        colorButton_ = new QPushButton(QStringLiteral("いろ(&C)..."), this);
        colorButton_->setAutoDefault(false);
        connect(colorButton_, &QPushButton::clicked, this, &FontChooser::PickColor);
        form->addRow(QString(), colorButton_);

        sample_ = new QLabel(QStringLiteral("あいうえお アイウエオ Aa"), this);
        sample_->setMinimumHeight(60);
        sample_->setAlignment(Qt::AlignCenter);
        sample_->setFrameShape(QFrame::StyledPanel);

        auto* buttons = new QDialogButtonBox(this);
        buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
        buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

        auto* layout = new QVBoxLayout(this);
        layout->addLayout(form);
        layout->addWidget(sample_);
        layout->addWidget(buttons);

        connect(face_, &QComboBox::currentIndexChanged, this, &FontChooser::UpdateSample);
        connect(size_, &QComboBox::currentTextChanged, this, &FontChooser::UpdateSample);
        UpdateSample();
    }

    // Puts the choice into the font. What the user left alone keeps its held value: the face
    // keeps its Windows name, and the colour stays a system colour reference.
    void Apply(TFont& font) const
    {
        if (face_->currentIndex() != shownFace_)
            font.SetName(tk::FromQt(face_->currentText()));
        const int points = size_->currentText().toInt();
        if (points > 0)
            font.SetSize(points);
        font.SetStyle(Style());
        if (colorChosen_)
            font.SetColor(FromQColor(color_));
    }

private:
    TFontStyles Style() const
    {
        TFontStyles style = 0;
        for (const auto& [bit, box] : styleBoxes_)
            if (box->isChecked())
                style |= bit;
        return style;
    }

    void PickColor()
    {
        const QColor picked
            = QColorDialog::getColor(color_, this, QStringLiteral("いろ"), QColorDialog::DontUseNativeDialog);
        if (!picked.isValid())
            return;
        color_ = picked;
        colorChosen_ = true;
        UpdateSample();
    }

    void UpdateSample()
    {
        QFont font(tk::SubstituteFace(face_->currentText()));
        font.setPointSize(qMax(1, size_->currentText().toInt()));
        const TFontStyles style = Style();
        font.setBold(style & fsBold);
        font.setItalic(style & fsItalic);
        font.setUnderline(style & fsUnderline);
        font.setStrikeOut(style & fsStrikeOut);
        sample_->setFont(font);
        QPalette palette = sample_->palette();
        palette.setColor(QPalette::WindowText, color_);
        sample_->setPalette(palette);
        QPixmap swatch(16, 16);
        swatch.fill(color_);
        colorButton_->setIcon(QIcon(swatch));
    }

    QComboBox* face_;
    int shownFace_;
    QComboBox* size_;
    std::vector<std::pair<TFontStyle, QCheckBox*>> styleBoxes_;
    QPushButton* colorButton_;
    QLabel* sample_;
    QColor color_;
    bool colorChosen_ = false;
};

} // namespace

TFontDialog::TFontDialog(TComponent* owner) : TComponent(owner)
{
    font_.SetName(tk::Ansi("ＭＳ Ｐゴシック"));
    font_.SetHeight(-12);
    font_.SetColor(clWindowText);
    font_.SetCharset(SHIFTJIS_CHARSET);
    font_.SetStyle(0);
}

bool TFontDialog::Execute()
{
    if (tk::CurrentModalAnswers().fontDialog)
        return tk::CurrentModalAnswers().fontDialog(font_);
    FontChooser dialog(tk::DialogParent(), font_);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    dialog.Apply(font_);
    return true;
}

// ---- printing -----------------------------------------------------------------------------

namespace {

// The printer chosen last, for the whole process. It is never destroyed: a print engine
// torn down after the application object has gone can touch what is no longer there.
QPrinter& ChosenPrinter()
{
    static QPrinter* printer = new QPrinter(QPrinter::HighResolution);
    return *printer;
}

} // namespace

bool TPrintDialog::Execute()
{
    QPrinter& printer = ChosenPrinter();
    if (tk::CurrentModalAnswers().printDialog) {
        const std::optional<std::string> pdf = tk::CurrentModalAnswers().printDialog();
        if (!pdf)
            return false;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(*pdf));
        return true;
    }
    QPrintDialog dialog(&printer, tk::DialogParent());
    return dialog.exec() == QDialog::Accepted;
}

namespace tk {

void PrintImage(const QImage& image)
{
    QPrinter& printer = ChosenPrinter();
    QPainter painter;
    if (!painter.begin(&printer))
        throw Exception(Ansi("いんさつが できませんでした"));
    // The painter's origin is the top-left corner of the printable area. The image keeps its
    // size in inches as the screen shows it at 96 pixels per inch; it is not fitted to the page.
    const double scaleX = printer.logicalDpiX() / 96.0;
    const double scaleY = printer.logicalDpiY() / 96.0;
    painter.drawImage(QRectF(0, 0, image.width() * scaleX, image.height() * scaleY), image);
    painter.end();
}

} // namespace tk
