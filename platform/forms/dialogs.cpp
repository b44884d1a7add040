#include "platform/forms/dialogs.h"

#include "platform/forms/exception.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {

TOpenDialog::ExecuteHook& Hook() {
    static TOpenDialog::ExecuteHook hook;
    return hook;
}

struct FilterEntry {
    QString name;
    QStringList patterns;
};

std::vector<FilterEntry> ParseFilter(const QString& filter) {
    std::vector<FilterEntry> entries;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        entries.push_back({parts[i], parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)});
    return entries;
}

// Files larger than this get no preview, so browsing stays quick.
constexpr qint64 kPreviewFileLimit = 64 * 1024 * 1024;
constexpr int kPreviewSize = 160;

class Preview : public QWidget {
  public:
    explicit Preview(QWidget* parent) : QWidget(parent) {
        auto* layout = new QVBoxLayout(this);
        picture_ = new QLabel(this);
        picture_->setFixedSize(kPreviewSize, kPreviewSize);
        picture_->setAlignment(Qt::AlignCenter);
        picture_->setFrameShape(QFrame::StyledPanel);
        caption_ = new QLabel(this);
        caption_->setAlignment(Qt::AlignCenter);
        layout->addWidget(picture_);
        layout->addWidget(caption_);
        layout->addStretch();
        Show(QString());
    }

    void Show(const QString& path) {
        picture_->clear();
        caption_->setText(QStringLiteral("(None)"));
        const QFileInfo info(path);
        if (path.isEmpty() || !info.isFile() || info.size() > kPreviewFileLimit)
            return;
        TBitmap bitmap;
        try {
            bitmap.LoadFromFile(path);
        } catch (const Exception&) {
            return;
        } catch (const std::exception&) {
            return;
        }
        if (bitmap.Empty())
            return;
        QImage image = bitmap.Image();
        if (image.width() > kPreviewSize || image.height() > kPreviewSize)
            image = image.scaled(kPreviewSize, kPreviewSize, Qt::KeepAspectRatio,
                                 Qt::SmoothTransformation);
        picture_->setPixmap(QPixmap::fromImage(image));
        caption_->setText(QStringLiteral("%1 x %2").arg(bitmap.Width()).arg(bitmap.Height()));
    }

  private:
    QLabel* picture_;
    QLabel* caption_;
};

} // namespace

QString PictureDialogFilter() {
    return QStringLiteral("All (*.bmp;*.ico;*.emf;*.wmf)|*.bmp;*.ico;*.emf;*.wmf|"
                          "Bitmaps (*.bmp)|*.bmp|"
                          "Icons (*.ico)|*.ico|"
                          "Enhanced Metafiles (*.emf)|*.emf|"
                          "Metafiles (*.wmf)|*.wmf");
}

TOpenDialog::TOpenDialog(TForm* owner) : TOpenDialog(owner, false, false) {}

TOpenDialog::TOpenDialog(TForm* owner, bool save, bool preview)
    : QObject(owner), save_(save), preview_(preview) {
    Title = save ? QStringLiteral("Save As") : QStringLiteral("Open");
}

void TOpenDialog::SetExecuteHook(ExecuteHook hook) {
    Hook() = std::move(hook);
}

QStringList TOpenDialog::FilterNames() const {
    QStringList names;
    for (const FilterEntry& e : ParseFilter(Filter))
        names << e.name;
    return names;
}

void TOpenDialog::Configure(QFileDialog& dialog) const {
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(save_ ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // An open dialog accepts the name of a file that does not exist; loading
    // it then reports that it cannot be opened.
    dialog.setFileMode(QFileDialog::AnyFile);
    if (save_)
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    QString suffix = DefaultExt;
    if (suffix.startsWith(QLatin1String("*.")))
        suffix.remove(0, 2);
    else if (suffix.startsWith(QLatin1Char('.')))
        suffix.remove(0, 1);
    dialog.setDefaultSuffix(suffix);

    const std::vector<FilterEntry> entries = ParseFilter(Filter);
    if (!entries.empty()) {
        dialog.setNameFilters(FilterNames());
        const int index = std::clamp(FilterIndex, 1, static_cast<int>(entries.size()));
        // Qt reads the patterns of an entry from its name, separated by
        // spaces; the names list them with ';', so hand the file list the
        // patterns of the chosen entry directly.
        auto applyPatterns = [&dialog, entries](const QString& name) {
            for (const FilterEntry& e : entries)
                if (e.name == name)
                    if (auto* model = dialog.findChild<QFileSystemModel*>())
                        model->setNameFilters(e.patterns);
        };
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, applyPatterns);
        dialog.selectNameFilter(entries[static_cast<size_t>(index - 1)].name);
        applyPatterns(entries[static_cast<size_t>(index - 1)].name);
    }
    if (!FileName.isEmpty()) {
        const QFileInfo info(FileName);
        dialog.setDirectory(info.absolutePath());
        dialog.selectFile(info.fileName());
    }
    if (preview_) {
        if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
            auto* preview = new Preview(&dialog);
            preview->setObjectName(QStringLiteral("picturePreview"));
            grid->addWidget(preview, 0, grid->columnCount(), grid->rowCount(), 1);
            QObject::connect(&dialog, &QFileDialog::currentChanged, preview,
                             [preview](const QString& path) { preview->Show(path); });
        }
    }
}

bool TOpenDialog::Execute() {
    if (Hook())
        return Hook()(*this);
    QFileDialog dialog(qobject_cast<QWidget*>(parent()), Title);
    Configure(dialog);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty())
        return false;
    FileName = QFileInfo(chosen.first()).absoluteFilePath();
    const qsizetype index = FilterNames().indexOf(dialog.selectedNameFilter());
    if (index >= 0)
        FilterIndex = static_cast<int>(index) + 1;
    return true;
}

TOpenPictureDialog::TOpenPictureDialog(TForm* owner) : TOpenDialog(owner, false, true) {
    Filter = PictureDialogFilter();
}

TSavePictureDialog::TSavePictureDialog(TForm* owner) : TSaveDialog(owner, true) {
    Filter = PictureDialogFilter();
}
