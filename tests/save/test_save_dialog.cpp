// SPDX-License-Identifier: MIT
#include "save/file_save_dialog.h"
#include "save/message_questions.h"
#include "save/save_command.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QScreen>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>

using namespace Qt::StringLiterals;
using namespace kestrune;

namespace {

// Plays the user at the modal widgets the code under test shows: each step acts on
// the modal widget active when the step before it is done. A modal widget shown
// with no step left is recorded and closed, so that no test can hang on it.
class ModalScript : public QObject
{
public:
    using Step = std::function<void(QWidget *modal)>;

    ModalScript()
    {
        poll_.setInterval(0);
        connect(&poll_, &QTimer::timeout, this, &ModalScript::poll);
        poll_.start();
    }
    void then(Step step) { steps_.push_back(std::move(step)); }
    bool all_steps_taken() const { return steps_.empty(); }

    QStringList unexpected;  // class names of modal widgets no step was left for

private:
    // A step runs from a timer of its own, so that a modal loop it opens does not
    // hold up the polling timer.
    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || step_queued_)
            return;
        step_queued_ = true;
        QTimer::singleShot(0, this, [this, target = QPointer<QWidget>(modal)] {
            step_queued_ = false;
            if (!target || target != QApplication::activeModalWidget())
                return;
            if (steps_.empty()) {
                unexpected << QString::fromLatin1(target->metaObject()->className());
                if (auto *dialog = qobject_cast<QDialog *>(target.data()))
                    dialog->reject();
                else
                    target->close();
                return;
            }
            const Step step = std::move(steps_.front());
            steps_.pop_front();
            step(target);
        });
    }

    QTimer poll_{this};
    std::deque<Step> steps_;
    bool step_queued_ = false;
};

QLineEdit *name_edit(QFileDialog *dialog)
{
    return dialog ? dialog->findChild<QLineEdit *>(u"fileNameEdit"_s) : nullptr;
}

// Types a name into the file dialog and presses Return, as the user does.
ModalScript::Step type_name(const QString &name, bool *typed = nullptr)
{
    return [name, typed](QWidget *modal) {
        QLineEdit *edit = name_edit(qobject_cast<QFileDialog *>(modal));
        if (typed)
            *typed = edit != nullptr;
        if (!edit)
            return;
        edit->setText(name);
        QTest::keyClick(edit, Qt::Key_Return);
    };
}

ModalScript::Step reject()
{
    return [](QWidget *modal) {
        if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
    };
}

// The save's questions as the dialog asks them: only a missing folder is expected,
// any other question is recorded as unexpected.
class RecordingQuestions : public SaveQuestions
{
public:
    QStringList missing_folders;
    QStringList dialog_titles;
    QStringList unexpected;

    bool confirm_replace(const QString &path) override
    {
        unexpected << u"confirm_replace "_s + path;
        return false;
    }
    void report_save_failure(const QString &path, const QString &) override
    {
        unexpected << u"report_save_failure "_s + path;
    }
    void report_missing_folder(const QString &folder, const QString &dialog_title) override
    {
        missing_folders << folder;
        dialog_titles << dialog_title;
    }
};

// What a step saw of the file dialog it was shown.
struct Seen
{
    QString class_name;
    QString title;
    QStringList selected_files;
    QString directory;
    QString name = u"<no name field>"_s;
};

ModalScript::Step look(Seen *seen)
{
    return [seen](QWidget *modal) {
        seen->class_name = QString::fromLatin1(modal->metaObject()->className());
        seen->title = modal->windowTitle();
        if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
            seen->selected_files = dialog->selectedFiles();
            seen->directory = dialog->directory().absolutePath();
            if (QLineEdit *edit = name_edit(dialog))
                seen->name = edit->text();
        }
    };
}

ModalScript::Step both(ModalScript::Step first, ModalScript::Step second)
{
    return [first, second](QWidget *modal) {
        first(modal);
        if (modal == QApplication::activeModalWidget())
            second(modal);
    };
}

// Clicks a message box's button, or records that the modal widget was none.
ModalScript::Step answer(QMessageBox::StandardButton button, QString *text)
{
    return [button, text](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        *text = box ? box->text() : u"<no message box>"_s;
        if (box && box->button(button))
            box->button(button)->click();
    };
}

QByteArray read_file(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : "<unreadable>"_ba;
}

bool write_file(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class SaveDialogTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<QWidget> window_;
    RecordingQuestions questions_; // made afresh for each test
    QString in_dir(const QString &name) const { return dir_->filePath(name); }

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void settings_of_the_dialog();
    void last_confirmed_path_is_offered();
    void folder_must_exist_data();
    void folder_must_exist();
    void dialog_asks_before_replacing_data();
    void dialog_asks_before_replacing();
    void events_go_on_while_shown();

    void replace_question_data();
    void replace_question();
    void failure_message_data();
    void failure_message();
    void missing_folder_message();

    void second_save_replaces_the_first_files();
};

void SaveDialogTest::initTestCase()
{
    // Qt's file dialog keeps its own settings; keep them out of the user's.
    QStandardPaths::setTestModeEnabled(true);
}

void SaveDialogTest::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    window_ = std::make_unique<QWidget>();
    window_->show();
    questions_ = RecordingQuestions();
}

void SaveDialogTest::cleanup()
{
    window_.reset();
    dir_.reset();
}

void SaveDialogTest::settings_of_the_dialog()
{
    // The folder Qt's dialogs visited last is not where a first save opens.
    QVERIFY(QDir(dir_->path()).mkdir(u"cwd"_s));
    QVERIFY(QDir::setCurrent(in_dir(u"cwd"_s)));
    QFileDialog elsewhere;
    elsewhere.setDirectory(dir_->path());

    QFileDialog reference;
    reference.setAcceptMode(QFileDialog::AcceptSave);

    struct
    {
        QWidget *parent = nullptr;
        Qt::WindowModality modality = Qt::NonModal;
        QFileDialog::AcceptMode accept_mode = QFileDialog::AcceptOpen;
        QFileDialog::FileMode file_mode = QFileDialog::ExistingFile;
        QStringList filters;
        QString selected_filter;
        QString default_suffix = u"unset"_s;
        QString title;
        bool confirms_overwrite = false;
    } got;
    Seen seen;
    ModalScript script;
    script.then(both(look(&seen), [&got](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        if (!dialog)
            return;
        got = {dialog->parentWidget(), dialog->windowModality(), dialog->acceptMode(), dialog->fileMode(),
               dialog->nameFilters(), dialog->selectedNameFilter(), dialog->defaultSuffix(),
               dialog->windowTitle(), !dialog->testOption(QFileDialog::DontConfirmOverwrite)};
        dialog->reject();
    }));

    FileSaveDialog dialog(window_.get(), questions_);
    QCOMPARE(dialog.parent(), window_.get());
    QCOMPARE(dialog.ask_save_path(), std::nullopt);

    QCOMPARE(script.unexpected, QStringList{});
    QCOMPARE(seen.class_name, u"QFileDialog"_s);
    QCOMPARE(got.parent, window_.get());
    QVERIFY(got.modality != Qt::NonModal);
    QCOMPARE(got.accept_mode, QFileDialog::AcceptSave);
    QCOMPARE(got.file_mode, QFileDialog::AnyFile);
    QCOMPARE(got.filters, QStringList{u"文本文档(*.txt)"_s});
    QCOMPARE(got.selected_filter, u"文本文档(*.txt)"_s);
    QCOMPARE(got.default_suffix, QString());
    QCOMPARE(got.title, reference.windowTitle());
    QVERIFY(got.confirms_overwrite);
    QCOMPARE(seen.directory, QDir::currentPath());
    QCOMPARE(seen.name, QString());
}

void SaveDialogTest::last_confirmed_path_is_offered()
{
    QVERIFY(QDir(dir_->path()).mkdir(u"other"_s));
    Seen after_confirm, after_cancel;
    bool typed = false;
    ModalScript script;
    script.then(type_name(u"log"_s, &typed));
    // Shown again: look, then wander off to another folder and name before cancelling.
    script.then(both(look(&after_confirm), [this](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        if (!dialog)
            return;
        dialog->setDirectory(in_dir(u"other"_s));
        if (QLineEdit *edit = name_edit(dialog))
            edit->setText(u"elsewhere"_s);
        dialog->reject();
    }));
    script.then(both(look(&after_cancel), reject()));

    FileSaveDialog dialog(window_.get(), questions_);
    QVERIFY(QDir::setCurrent(dir_->path()));
    QCOMPARE(dialog.ask_save_path(), std::optional<QString>(in_dir(u"log"_s)));
    QVERIFY(typed);
    QCOMPARE(dialog.ask_save_path(), std::nullopt);
    QCOMPARE(dialog.ask_save_path(), std::nullopt);

    QCOMPARE(script.unexpected, QStringList{});
    QVERIFY(script.all_steps_taken());
    QCOMPARE(after_confirm.selected_files, QStringList{in_dir(u"log"_s)});
    QCOMPARE(after_confirm.name, u"log"_s);
    QCOMPARE(after_confirm.directory, dir_->path());
    QCOMPARE(after_cancel.selected_files, QStringList{in_dir(u"log"_s)});
    QCOMPARE(after_cancel.directory, dir_->path());
}

void SaveDialogTest::folder_must_exist_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("folder");
    QTest::newRow("missing folder") << u"missing/x"_s << u"missing"_s;
    QTest::newRow("folder is a file") << u"plain.txt/x"_s << u"plain.txt"_s;
}

void SaveDialogTest::folder_must_exist()
{
    QFETCH(QString, typed);
    QFETCH(QString, folder);

    QVERIFY(write_file(in_dir(u"plain.txt"_s), "old"_ba));
    QVERIFY(QDir::setCurrent(dir_->path()));
    Seen first, shown_again;
    ModalScript script;
    script.then(both(look(&first), type_name(typed)));
    script.then(both(look(&shown_again), reject()));

    FileSaveDialog dialog(window_.get(), questions_);
    QCOMPARE(dialog.ask_save_path(), std::nullopt);

    QCOMPARE(script.unexpected, QStringList{});
    QVERIFY(script.all_steps_taken());
    QCOMPARE(questions_.unexpected, QStringList{});
    QCOMPARE(questions_.missing_folders, QStringList{in_dir(folder)});
    QCOMPARE(questions_.dialog_titles, QStringList{first.title});
    QCOMPARE(shown_again.class_name, u"QFileDialog"_s);
    QCOMPARE(shown_again.selected_files, QStringList{in_dir(typed)});
    QCOMPARE(read_file(in_dir(u"plain.txt"_s)), "old"_ba);
}

void SaveDialogTest::dialog_asks_before_replacing_data()
{
    QTest::addColumn<bool>("replace");
    QTest::newRow("yes") << true;
    QTest::newRow("no, then cancel") << false;
}

void SaveDialogTest::dialog_asks_before_replacing()
{
    QFETCH(bool, replace);

    QVERIFY(write_file(in_dir(u"log.txt"_s), "old"_ba));
    QVERIFY(QDir::setCurrent(dir_->path()));
    QString question;
    ModalScript script;
    script.then(type_name(u"log.txt"_s));
    script.then(answer(replace ? QMessageBox::Yes : QMessageBox::No, &question));
    if (!replace)
        script.then(reject());

    FileSaveDialog dialog(window_.get(), questions_);
    const auto expected = replace ? std::optional<QString>(in_dir(u"log.txt"_s)) : std::nullopt;
    QCOMPARE(dialog.ask_save_path(), expected);

    QCOMPARE(script.unexpected, QStringList{});
    QVERIFY(script.all_steps_taken());
    QVERIFY2(question.contains(u"log.txt"_s), qPrintable(question));
}

void SaveDialogTest::events_go_on_while_shown()
{
    // A tick of the window's timer, handled while the dialog is open, closes it.
    int ticks = 0;
    QTimer tick;
    tick.setInterval(1);
    connect(&tick, &QTimer::timeout, this, [&ticks, &tick] {
        if (++ticks < 3)
            return;
        tick.stop();
        if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget()))
            dialog->reject();
    });
    // Nothing but the ticks closes the dialog; the script only stands by, in case they never come.
    bool seen_open = false;
    QTimer::singleShot(0, this, [&seen_open, &tick] {
        seen_open = qobject_cast<QFileDialog *>(QApplication::activeModalWidget()) != nullptr;
        tick.start();
    });
    QTimer stand_by;
    stand_by.setSingleShot(true);
    stand_by.setInterval(60'000);
    connect(&stand_by, &QTimer::timeout, this, [] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            dialog->reject();
    });
    stand_by.start();

    FileSaveDialog dialog(window_.get(), questions_);
    QCOMPARE(dialog.ask_save_path(), std::nullopt);
    QVERIFY(seen_open);
    QCOMPARE(ticks, 3);
}

void SaveDialogTest::replace_question_data()
{
    QTest::addColumn<int>("key");  // 0: click the button instead
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("replace");

    QTest::newRow("Return takes the default") << int(Qt::Key_Return) << 0 << false;
    QTest::newRow("Escape") << int(Qt::Key_Escape) << 0 << false;
    QTest::newRow("Yes") << 0 << int(QMessageBox::Yes) << true;
    QTest::newRow("No") << 0 << int(QMessageBox::No) << false;
}

void SaveDialogTest::replace_question()
{
    QFETCH(int, key);
    QFETCH(int, button);
    QFETCH(bool, replace);

    QString text;
    QWidget *parent = nullptr;
    ModalScript script;
    script.then([&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        if (!box)
            return;
        text = box->text();
        parent = box->parentWidget();
        if (key)
            QTest::keyClick(box, Qt::Key(key));
        else if (QAbstractButton *b = box->button(QMessageBox::StandardButton(button)))
            b->click();
    });

    MessageBoxQuestions questions(window_.get());
    const QString path = in_dir(u"log.txt"_s);
    QCOMPARE(questions.confirm_replace(path), replace);

    QCOMPARE(script.unexpected, QStringList{});
    QVERIFY(script.all_steps_taken());
    QCOMPARE(parent, window_.get());
    QVERIFY2(text.contains(QDir::toNativeSeparators(path)), qPrintable(text));
}

void SaveDialogTest::failure_message_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("usual name") << u"log.txt"_s;
    QTest::newRow("name too long") << QString(300, u'n') + u".txt"_s;
}

// The whole path and the reason, in a box that fits on the screen with its text
// unclipped, however long the name.
void SaveDialogTest::failure_message()
{
    QFETCH(QString, name);
    QString text;
    bool label_whole = false;
    bool box_fits = false;
    ModalScript script;
    script.then([&](QWidget *modal) {
        auto *label = modal->findChild<QLabel *>(u"qt_msgbox_label"_s);
        label_whole = label && label->minimumSizeHint().width() <= label->width()
                      && label->heightForWidth(label->width()) <= label->height();
        box_fits = modal->frameGeometry().width() <= modal->screen()->availableGeometry().width();
        answer(QMessageBox::Ok, &text)(modal);
    });

    MessageBoxQuestions questions(window_.get());
    const QString path = in_dir(name);
    questions.report_save_failure(path, u"文件名太长。"_s);

    QCOMPARE(script.unexpected, QStringList{});
    QVERIFY(script.all_steps_taken());
    const QString unbroken = QString(text).remove(QChar(0x200B));
    QVERIFY2(unbroken.contains(QDir::toNativeSeparators(path)), qPrintable(text));
    QVERIFY2(text.endsWith(u"文件名太长。"_s), qPrintable(text));
    QVERIFY(label_whole);
    QVERIFY(box_fits);
}

void SaveDialogTest::missing_folder_message()
{
    QString text;
    QString title;
    QWidget *parent = nullptr;
    ModalScript script;
    script.then([&](QWidget *modal) {
        parent = modal->parentWidget();
        title = modal->windowTitle();
        answer(QMessageBox::Ok, &text)(modal);
    });

    MessageBoxQuestions questions(window_.get());
    const QString folder = in_dir(u"missing"_s);
    questions.report_missing_folder(folder, u"另存为"_s);

    QCOMPARE(script.unexpected, QStringList{});
    QVERIFY(script.all_steps_taken());
    QCOMPARE(parent, window_.get());
    QCOMPARE(title, u"另存为"_s);
    QVERIFY2(text.contains(QDir::toNativeSeparators(folder)), qPrintable(text));
    QVERIFY2(text.contains(u"路径不存在"_s), qPrintable(text));
}

// Both buttons share the one dialog: the second save is offered the first one's
// name "log", and writing log.txt again asks before replacing it.
void SaveDialogTest::second_save_replaces_the_first_files()
{
    QVERIFY(QDir::setCurrent(dir_->path()));
    Seen second;
    QString question;
    ModalScript script;
    script.then(type_name(u"log"_s));
    script.then(both(look(&second), [](QWidget *modal) {
        if (QLineEdit *edit = name_edit(qobject_cast<QFileDialog *>(modal)))
            QTest::keyClick(edit, Qt::Key_Return);
    }));
    script.then(answer(QMessageBox::Yes, &question));

    MessageBoxQuestions questions(window_.get());
    FileSaveDialog dialog(window_.get(), questions);
    SaveCommand command(dialog, questions);
    command.save_box_to_file([](QIODevice &out) { out.write("received"); });
    QCOMPARE(read_file(in_dir(u"log.txt"_s)), "received"_ba);
    command.save_box_to_file([](QIODevice &out) { out.write("sent"); });

    QCOMPARE(script.unexpected, QStringList{});
    QVERIFY(script.all_steps_taken());
    QCOMPARE(second.selected_files, QStringList{in_dir(u"log"_s)});
    QVERIFY2(question.contains(QDir::toNativeSeparators(in_dir(u"log.txt"_s))), qPrintable(question));
    QCOMPARE(read_file(in_dir(u"log.txt"_s)), "sent"_ba);
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files), QStringList{u"log.txt"_s});
}

QTEST_MAIN(SaveDialogTest)
#include "test_save_dialog.moc"
