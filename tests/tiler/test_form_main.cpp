// TFormMain under Qt's offscreen platform: the form data, the open, save,
// transform and OK handlers, the block size rule, the failure messages, and
// the real file dialogs answered from a timer.

#include "platform/forms/application.h"
#include "platform/forms/exception.h"
#include "tiler/main_form.h"
#include "tiler/tile_transform.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <deque>

namespace {

// Answers the dialogs from a queue: each entry is the file name to choose, or
// an empty string to cancel. Records every dialog that was run.
struct DialogScript {
    std::deque<QString> answers;
    std::vector<const TOpenDialog*> asked;
    void Install() {
        TOpenDialog::SetExecuteHook([this](TOpenDialog& d) {
            asked.push_back(&d);
            if (answers.empty())
                return false;
            const QString answer = answers.front();
            answers.pop_front();
            if (answer.isEmpty())
                return false;
            d.FileName = answer;
            return true;
        });
    }
};

TBitmap Stripes(int w, int h, TPixelFormat format) {
    std::vector<TColor> palette;
    if (format == TPixelFormat::pf8bit)
        for (int i = 0; i < 256; ++i)
            palette.push_back(RGBToColor(i, 255 - i, i / 2));
    TBitmap b(w, h, format, palette);
    TCanvas canvas = b.Canvas();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            canvas.SetPixel(x, y,
                            palette.empty() ? RGBToColor(x * 3, y * 5, x ^ y)
                                            : palette[static_cast<size_t>((x + 3 * y) % 256)]);
    return b;
}

} // namespace

class TestFormMain : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir dir_;
    DialogScript script_;
    std::vector<TMessageBoxRecord> boxes_;

    QString Path(const QString& name) const { return dir_.filePath(name); }
    QString Saved(const TBitmap& b, const QString& name) const {
        b.SaveToFile(Path(name));
        return Path(name);
    }

  private slots:
    void init() {
        script_ = DialogScript();
        script_.Install();
        boxes_.clear();
        Application()->SetMessageBoxHook(
            [this](const TMessageBoxRecord& r) { boxes_.push_back(r); });
    }
    void cleanup() {
        TOpenDialog::SetExecuteHook(nullptr);
        Application()->SetMessageBoxHook(nullptr);
    }

    void formDataAtStart() {
        TFormMain form;
        QCOMPARE(form.windowTitle(), QStringLiteral("비트맵 변형"));
        QCOMPARE(form.pos(), QPoint(192, 114));
        QCOMPARE(form.font().pixelSize(), 11);
        const QImage icon = form.windowIcon().pixmap(32, 32).toImage();
        QCOMPARE(icon.size(), QSize(32, 32));
        QCOMPARE(MainIconImage().colorCount(), 16);

        struct Control {
            QWidget* widget;
            QRect bounds;
            QString caption;
        };
        const Control controls[] = {
            {form.Image, {8, 0, 241, 105}, {}},
            {form.BitBtnOpen, {8, 184, 73, 41}, QStringLiteral("열기")},
            {form.BitBtnSave, {88, 184, 73, 41}, QStringLiteral("저장")},
            {form.BitBtnChange, {168, 184, 73, 41}, QStringLiteral("변형")},
            {form.BitBtn4, {8, 232, 241, 49}, QStringLiteral("OK")},
            {form.RButton22, {16, 120, 113, 17}, QStringLiteral("2*2픽셀추출")},
            {form.RButton44, {16, 136, 113, 17}, QStringLiteral("4*4필셀추출")},
            {form.RButton88, {16, 152, 113, 17}, QStringLiteral("8*8픽셀추출")},
        };
        for (const Control& c : controls) {
            QCOMPARE(c.widget->geometry(), c.bounds);
            if (auto* b = qobject_cast<QAbstractButton*>(c.widget))
                QCOMPARE(b->text(), c.caption);
        }
        QVERIFY(form.BitBtn4->isDefault());
        QVERIFY(!form.BitBtn4->icon().isNull());
        QVERIFY(!form.RButton22->Checked() && !form.RButton44->Checked() &&
                !form.RButton88->Checked());
        QVERIFY(!form.BlockSize());
        QCOMPARE(form.OpenDialog->FilterNames(),
                 (QStringList{"All (*.bmp;*.ico;*.emf;*.wmf)", "Bitmaps (*.bmp)", "Icons (*.ico)",
                              "Enhanced Metafiles (*.emf)", "Metafiles (*.wmf)"}));
        QCOMPARE(form.SaveDialog->FilterNames(), form.OpenDialog->FilterNames());

        // Tab order: open, save, transform, OK, then the radio buttons.
        const QWidget* order[] = {form.BitBtnOpen, form.BitBtnSave, form.BitBtnChange, form.BitBtn4,
                                  form.RButton22,  form.RButton44,  form.RButton88};
        for (size_t i = 0; i + 1 < std::size(order); ++i)
            QCOMPARE(order[i]->nextInFocusChain(), order[i + 1]);
    }

    void openCancelledStillChecksEightAndKeepsPicture() {
        TFormMain form;
        const QString first = Saved(Stripes(20, 12, TPixelFormat::pf24bit), "first.bmp");
        script_.answers = {first};
        form.BitBtnOpen->click();
        const QImage loaded = form.Image->Picture()->Bitmap().Image();
        QCOMPARE(loaded.size(), QSize(20, 12));

        form.RButton22->click();
        QVERIFY(form.RButton22->Checked());
        script_.answers = {QString()}; // cancel
        form.BitBtnOpen->click();
        QVERIFY(form.RButton88->Checked());
        QVERIFY(!form.RButton22->Checked());
        QCOMPARE(form.Image->Picture()->Bitmap().Image(), loaded);
        QVERIFY(boxes_.empty());
        QCOMPARE(script_.asked.size(), size_t{2});
        QCOMPARE(script_.asked.back(), form.OpenDialog);
    }

    void openShowsTopLeftOfALargePicture() {
        TFormMain form;
        const TBitmap big = Stripes(300, 200, TPixelFormat::pf8bit);
        script_.answers = {Saved(big, "big.bmp")};
        form.BitBtnOpen->click();
        QVERIFY(form.RButton88->Checked());
        QCOMPARE(form.Image->Picture()->Bitmap().Width(), 300);
        QCOMPARE(form.Image->Picture()->Bitmap().PixelFormat(), TPixelFormat::pf8bit);
        const QImage shown = form.Image->VisiblePart();
        QCOMPARE(shown.size(), QSize(241, 105));
        QCOMPARE(shown, big.Image().copy(0, 0, 241, 105));
        // It is drawn unstretched from the control's top-left corner.
        form.show();
        const QImage grabbed = form.Image->grab().toImage();
        QCOMPARE(grabbed.pixelColor(0, 0).rgb() & 0xFFFFFF,
                 big.Image().pixelColor(0, 0).rgb() & 0xFFFFFF);
        QCOMPARE(grabbed.pixelColor(240, 104).rgb() & 0xFFFFFF,
                 big.Image().pixelColor(240, 104).rgb() & 0xFFFFFF);
        form.hide();
    }

    void failuresShowTheirTextWithFullStopAndTitle() {
        TFormMain form;
        const TBitmap start = Stripes(9, 9, TPixelFormat::pf24bit);
        script_.answers = {Saved(start, "start.bmp")};
        form.BitBtnOpen->click();
        QVERIFY(boxes_.empty());

        const QString missing = Path("missing.bmp");
        QFile shortFile(Path("short.bmp"));
        QVERIFY(shortFile.open(QIODevice::WriteOnly));
        shortFile.write("BM\0\0\0", 5);
        shortFile.close();
        QFile icon(Path("icon.ico"));
        QVERIFY(icon.open(QIODevice::WriteOnly));
        icon.write(QByteArray("\0\0\1\0\1\0\20\20\0\0\1\0\4\0\50\1\0\0", 18));
        icon.close();

        struct Case {
            QString file;
            QString text;
        };
        const Case cases[] = {
            {missing, "Cannot open file " + missing + "."},
            {Path("short.bmp"), "Stream read error."},
            {Path("icon.ico"), "Bitmap image is not valid."},
        };
        for (const Case& c : cases) {
            boxes_.clear();
            form.RButton44->click();
            script_.answers = {c.file};
            form.BitBtnOpen->click();
            QCOMPARE(boxes_.size(), size_t{1});
            QCOMPARE(boxes_[0].text, c.text);
            QCOMPARE(boxes_[0].caption, Application()->Title());
            QCOMPARE(boxes_[0].icon, QMessageBox::Critical);
            QCOMPARE(boxes_[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
            QCOMPARE(form.Image->Picture()->Bitmap().Image(), start.Image());
            QVERIFY(form.RButton88->Checked());
        }

        boxes_.clear();
        const QString noFolder = Path("no/such/folder.bmp");
        script_.answers = {noFolder};
        form.BitBtnSave->click();
        QCOMPARE(boxes_.size(), size_t{1});
        QCOMPARE(boxes_[0].text, "Cannot create file " + noFolder + ".");

        // The program carries on: the next open works.
        boxes_.clear();
        script_.answers = {Path("start.bmp")};
        form.BitBtnOpen->click();
        QVERIFY(boxes_.empty());
    }

    void emptyFileAndSaveBeforeOpen() {
        TFormMain form;
        script_.answers = {Path("nothing-yet.bmp")};
        form.BitBtnSave->click();
        QVERIFY(boxes_.empty());
        QCOMPARE(QFileInfo(Path("nothing-yet.bmp")).size(), 0);
        script_.answers = {Path("nothing-yet.bmp")};
        form.BitBtnOpen->click();
        QVERIFY(boxes_.empty());
        QVERIFY(form.Image->Picture()->Bitmap().Empty());
    }

    void transformSaveLoadRoundTrip() {
        const struct {
            TPixelFormat format;
            QAbstractButton* (*radio)(TFormMain&);
            int a;
        } cases[] = {
            {TPixelFormat::pf24bit, [](TFormMain& f) -> QAbstractButton* { return f.RButton22; },
             2},
            {TPixelFormat::pf8bit, [](TFormMain& f) -> QAbstractButton* { return f.RButton44; }, 4},
            {TPixelFormat::pf24bit, [](TFormMain& f) -> QAbstractButton* { return f.RButton88; },
             8},
        };
        for (const auto& c : cases) {
            TFormMain form;
            const TBitmap original = Stripes(37, 29, c.format);
            script_.answers = {Saved(original, "in.bmp"), Path("out.bmp")};
            form.BitBtnOpen->click();
            c.radio(form)->click();
            QCOMPARE(form.BlockSize(), std::optional<int>(c.a));
            form.BitBtnChange->click();
            form.BitBtnSave->click();
            QVERIFY(boxes_.empty());

            TBitmap expected = original;
            TileTopLeftBlock(expected, c.a);
            TBitmap reloaded;
            reloaded.LoadFromFile(Path("out.bmp"));
            QCOMPARE(reloaded.PixelFormat(), c.format);
            QCOMPARE(reloaded.Image(), expected.Image());
            QVERIFY(reloaded.Image() != original.Image());
        }
    }

    void transformWithNoBlockSizeDoesNothing() {
        TFormMain form;
        TBitmap& bitmap = form.Image->Picture()->Bitmap();
        bitmap = Stripes(30, 30, TPixelFormat::pf24bit);
        const QImage before = bitmap.Image();
        form.BitBtnChange->click();
        QCOMPARE(bitmap.Image(), before);
        QVERIFY(boxes_.empty());
        QVERIFY(script_.asked.empty());
    }

    void enterOnRadioButtonPressesOkAndEscapeDoesNothing() {
        TFormMain form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.RButton44->setFocus();
        QTest::keyClick(form.RButton44, Qt::Key_Escape);
        QVERIFY(form.isVisible());
        QTest::keyClick(form.RButton44, Qt::Key_Return);
        QVERIFY(!form.isVisible());

        // Enter on a focused button presses that button.
        TFormMain other;
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other));
        other.BitBtnOpen->setFocus();
        script_.answers = {QString()};
        QTest::keyClick(other.BitBtnOpen, Qt::Key_Return);
        QCOMPARE(script_.asked.size(), size_t{1});
        QVERIFY(other.isVisible());
        other.hide();
    }

    // The real dialogs, answered from a timer while they run.
    void realDialogsRememberNameAndFilterAndCompleteExtension() {
        TOpenDialog::SetExecuteHook(nullptr);
        TFormMain form;
        const QString existing = Saved(Stripes(10, 10, TPixelFormat::pf24bit), "pic.bmp");
        QString typedPath;
        QStringList seenFilters;
        QString seenSelectedFilter;
        QStringList modelPatterns;
        bool hadPreview = false;
        bool confirmsOverwrite = true;
        QString proposed;

        auto answer = [&](const QString& typed, int filterRow) {
            QTimer::singleShot(0, [&, typed, filterRow] {
                auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                QVERIFY(dialog);
                seenFilters = dialog->nameFilters();
                seenSelectedFilter = dialog->selectedNameFilter();
                if (auto* model = dialog->findChild<QFileSystemModel*>())
                    modelPatterns = model->nameFilters();
                hadPreview = dialog->findChild<QWidget*>("picturePreview") != nullptr;
                confirmsOverwrite = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
                auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
                QVERIFY(edit);
                proposed = edit->text();
                if (filterRow >= 0) {
                    auto* combo = dialog->findChild<QComboBox*>("fileTypeCombo");
                    QVERIFY(combo);
                    combo->setCurrentIndex(filterRow);
                    emit combo->activated(filterRow);
                }
                edit->setText(typed);
                QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
            });
        };

        answer(dir_.path() + "/pic", 1); // typed without extension, "Bitmaps"
        form.BitBtnSave->click();
        QCOMPARE(form.SaveDialog->FileName, existing);
        QCOMPARE(form.SaveDialog->FilterIndex, 2);
        QVERIFY(hadPreview);
        QVERIFY(!confirmsOverwrite);
        QCOMPARE(seenFilters, form.SaveDialog->FilterNames());
        QCOMPARE(seenSelectedFilter, QStringLiteral("All (*.bmp;*.ico;*.emf;*.wmf)"));
        QCOMPARE(modelPatterns, (QStringList{"*.bmp", "*.ico", "*.emf", "*.wmf"}));

        // The next run proposes the last name and filter.
        answer(dir_.path() + "/pic.bmp", -1);
        form.BitBtnSave->click();
        QCOMPARE(proposed, QStringLiteral("pic.bmp"));
        QCOMPARE(seenSelectedFilter, QStringLiteral("Bitmaps (*.bmp)"));
        QCOMPARE(modelPatterns, (QStringList{"*.bmp"}));

        // The open dialog accepts a name that does not exist; the load reports it.
        answer(dir_.path() + "/absent.bmp", -1);
        form.BitBtnOpen->click();
        QCOMPARE(form.OpenDialog->FileName, dir_.path() + "/absent.bmp");
        QCOMPARE(boxes_.size(), size_t{1});
        QCOMPARE(boxes_[0].text, "Cannot open file " + dir_.path() + "/absent.bmp.");
        QVERIFY(hadPreview);
    }

    void titleFromExecutableName() {
        QCOMPARE(ApplicationTitleFromPath("/usr/bin/Tegulo"), QStringLiteral("Tegulo"));
        QCOMPARE(ApplicationTitleFromPath("C:/apps/TEGULO.EXE"), QStringLiteral("Tegulo"));
        QCOMPARE(ApplicationTitleFromPath("/x/my.tool.bin"), QStringLiteral("my"));
        QCOMPARE(ApplicationTitleFromPath("tEGULO"), QStringLiteral("tegulo"));
    }

    void errorsOfEveryKindAreShownAndGoNoFurther() {
        TObject sender;
        DispatchNotify([](TObject*) { throw Exception("Custom failure"); }, &sender);
        DispatchNotify([](TObject*) { throw std::runtime_error("plain"); }, &sender);
        DispatchNotify([](TObject*) { throw 42; }, &sender);
        QCOMPARE(boxes_.size(), size_t{3});
        QCOMPARE(boxes_[0].text, QStringLiteral("Custom failure."));
        QCOMPARE(boxes_[1].text, QStringLiteral("plain."));
    }

    // Last: closes the main form, which ends the program.
    void okClosesTheProgram() {
        TFormMain* form = Application()->CreateForm<TFormMain>();
        QCOMPARE(Application()->MainForm(), form);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form));
        QVERIFY(!Application()->Terminated());
        form->BitBtn4->click();
        QVERIFY(!form->isVisible());
        QVERIFY(Application()->Terminated());
        QVERIFY(boxes_.empty());
    }
};

int main(int argc, char** argv) {
    TApplication application(argc, argv);
    TestFormMain test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_form_main.moc"
