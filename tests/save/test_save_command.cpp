// SPDX-License-Identifier: MIT
#include "save/save_command.h"

#include <QDir>
#include <QFile>
#include <QIODevice>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>

using namespace Qt::StringLiterals;
using namespace kestrune;

namespace {

// Answers the dialog from a queue; `while_shown` stands for what the window thread
// handles while the real dialog is open.
class QueuedDialog : public SaveDialog
{
public:
    std::deque<std::optional<QString>> answers;
    std::function<void()> while_shown;
    int shown = 0;

    std::optional<QString> ask_save_path() override
    {
        ++shown;
        if (while_shown)
            while_shown();
        if (answers.empty())
            return std::nullopt;
        std::optional<QString> answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

class QueuedQuestions : public SaveQuestions
{
public:
    std::deque<bool> replace_answers;
    std::function<void()> while_asked;
    QStringList asked_replace;
    QStringList failed_paths;
    QStringList failure_reasons;

    bool confirm_replace(const QString &path) override
    {
        asked_replace << path;
        if (while_asked)
            while_asked();
        if (replace_answers.empty())
            return false;
        const bool answer = replace_answers.front();
        replace_answers.pop_front();
        return answer;
    }
    void report_save_failure(const QString &path, const QString &reason) override
    {
        failed_paths << path;
        failure_reasons << reason;
    }
    // Only the save dialog reports a missing folder, and the dialog here is a queue.
    void report_missing_folder(const QString &, const QString &) override {}
};

QByteArray read_file(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<unreadable>"_ba;
    return file.readAll();
}

bool write_file(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Writes the bytes in pieces, as a box streaming its text would.
BoxContent streamed(const QByteArray &bytes)
{
    return [bytes](QIODevice &out) {
        constexpr qsizetype piece = 4096;
        for (qsizetype at = 0; at < bytes.size(); at += piece)
            out.write(bytes.mid(at, piece));
    };
}

// Lowers this process's file-size limit, which holds for root as well, so that a
// write beyond it fails with EFBIG instead of raising SIGXFSZ.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        if (getrlimit(RLIMIT_FSIZE, &old_) != 0)
            return;
        old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = old_;
        lowered.rlim_cur = bytes;
        active_ = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit()
    {
        if (active_)
            setrlimit(RLIMIT_FSIZE, &old_);
        if (old_handler_ != SIG_ERR)
            std::signal(SIGXFSZ, old_handler_);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;
    bool active() const { return active_; }

private:
    rlimit old_{};
    void (*old_handler_)(int) = SIG_ERR;
    bool active_ = false;
};

} // namespace

class SaveCommandTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    QueuedDialog dialog_;
    QueuedQuestions questions_;

    QString in_dir(const QString &name) const { return dir_->filePath(name); }
    QStringList dir_entries() const
    {
        return QDir(dir_->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }

private Q_SLOTS:
    void init();

    void name_rule_data();
    void name_rule();

    void replacing_data();
    void replacing();

    void content_data();
    void content();

    void cancel_data();
    void cancel();

    void failure_data();
    void failure();
    void failure_in_a_folder_that_takes_no_file();
    void failure_reason_data();
    void failure_reason();

    void content_is_read_after_the_dialog_data();
    void content_is_read_after_the_dialog();
};

void SaveCommandTest::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    dialog_ = QueuedDialog();
    questions_ = QueuedQuestions();
}

void SaveCommandTest::name_rule_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("written");

    QTest::newRow("no extension") << u"/d/log"_s << u"/d/log.txt"_s;
    QTest::newRow("upper-case .TXT") << u"/d/data.TXT"_s << u"/d/data.TXT"_s;
    QTest::newRow("mixed-case .tXt") << u"/d/data.tXt"_s << u"/d/data.tXt"_s;
    QTest::newRow(".txt in the middle") << u"/d/report.txt.bak"_s << u"/d/report.txt.bak"_s;
    QTest::newRow("other extension") << u"/d/a.log"_s << u"/d/a.log.txt"_s;
    QTest::newRow("txt without the dot") << u"/d/atxt"_s << u"/d/atxt.txt"_s;
    QTest::newRow("trailing spaces") << u"/d/x   "_s << u"/d/x.txt"_s;
    QTest::newRow("trailing full-width spaces") << u"/d/x\u3000 \u3000"_s << u"/d/x.txt"_s;
    QTest::newRow("spaces after .txt") << u"/d/x.txt  "_s << u"/d/x.txt"_s;
    QTest::newRow("inner spaces kept") << u"/d/a b\u3000c "_s << u"/d/a b\u3000c.txt"_s;
    QTest::newRow("leading spaces kept") << u"/d/ x"_s << u"/d/ x.txt"_s;
    // 啊 is B0 A1 in GBK: its trail byte must not pair with the space's A1 A1.
    QTest::newRow("GBK trail byte A1 before a full-width space") << u"/d/啊\u3000"_s << u"/d/啊.txt"_s;
    QTest::newRow("folder named old.txt") << u"/d/old.txt/notes"_s << u"/d/old.txt/notes.txt"_s;
    QTest::newRow("relative name") << u"log"_s << u"log.txt"_s;
}

void SaveCommandTest::name_rule()
{
    QFETCH(QString, chosen);
    QFETCH(QString, written);
    QCOMPARE(save_file_name(chosen), written);
}

void SaveCommandTest::replacing_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("existing");  // empty: none
    QTest::addColumn<QList<bool>>("answers");
    QTest::addColumn<QString>("written");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<QByteArray>("after");  // of `written`

    QTest::newRow("appended .txt hits a file, yes") << u"log"_s << u"log.txt"_s << QList<bool>{true}
                                                    << u"log.txt"_s << true << "new"_ba;
    QTest::newRow("appended .txt hits a file, no") << u"log"_s << u"log.txt"_s << QList<bool>{false}
                                                   << u"log.txt"_s << true << "old"_ba;
    QTest::newRow("removed spaces hit a file, no") << u"x.txt  "_s << u"x.txt"_s << QList<bool>{false}
                                                   << u"x.txt"_s << true << "old"_ba;
    QTest::newRow("the dialog's own name: it asked") << u"log.txt"_s << u"log.txt"_s << QList<bool>{}
                                                     << u"log.txt"_s << false << "new"_ba;
    QTest::newRow("appended .txt is free") << u"log"_s << u"log"_s << QList<bool>{}
                                           << u"log.txt"_s << false << "new"_ba;
}

void SaveCommandTest::replacing()
{
    QFETCH(QString, chosen);
    QFETCH(QString, existing);
    QFETCH(QList<bool>, answers);
    QFETCH(QString, written);
    QFETCH(bool, asked);
    QFETCH(QByteArray, after);

    QVERIFY(write_file(in_dir(existing), "old"_ba));
    dialog_.answers = {in_dir(chosen)};
    questions_.replace_answers.assign(answers.begin(), answers.end());
    SaveCommand(dialog_, questions_).save_box_to_file(streamed("new"_ba));

    QCOMPARE(questions_.asked_replace, asked ? QStringList{in_dir(written)} : QStringList{});
    QCOMPARE(read_file(in_dir(written)), after);
    if (existing != written)
        QCOMPARE(read_file(in_dir(existing)), "old"_ba);
    QCOMPARE(questions_.failed_paths, QStringList{});
    QStringList expected_entries{existing, written};
    expected_entries.removeDuplicates();
    expected_entries.sort();
    QCOMPARE(dir_entries(), expected_entries);
}

void SaveCommandTest::content_data()
{
    QTest::addColumn<QByteArray>("old");  // null: no file before
    QTest::addColumn<QByteArray>("box");

    QByteArray large(1 << 20, '\0');
    for (qsizetype i = 0; i < large.size(); ++i)
        large[i] = char(i * 7 % 251);

    QTest::newRow("empty box, new file") << QByteArray() << ""_ba;
    QTest::newRow("empty box empties a file") << "old text\r\n"_ba << ""_ba;
    QTest::newRow("GBK text, CR LF, no BOM added") << QByteArray() << "\xC4\xE3\xBA\xC3\r\nA1\r\n"_ba;
    QTest::newRow("longer file replaced by a shorter one") << QByteArray(5000, 'x') << "ab"_ba;
    QTest::newRow("1 MiB in pieces") << "old"_ba << large;
}

void SaveCommandTest::content()
{
    QFETCH(QByteArray, old);
    QFETCH(QByteArray, box);

    const QString path = in_dir(u"box.txt"_s);
    if (!old.isNull())
        QVERIFY(write_file(path, old));
    dialog_.answers = {path};
    SaveCommand(dialog_, questions_).save_box_to_file(streamed(box));

    QCOMPARE(read_file(path), box);
    QCOMPARE(dir_entries(), QStringList{u"box.txt"_s});
    QCOMPARE(questions_.failed_paths, QStringList{});
    QCOMPARE(questions_.asked_replace, QStringList{});
}

void SaveCommandTest::cancel_data()
{
    QTest::addColumn<bool>("earlier_file");
    QTest::newRow("first use") << false;
    QTest::newRow("after a save") << true;
}

void SaveCommandTest::cancel()
{
    QFETCH(bool, earlier_file);

    if (earlier_file)
        QVERIFY(write_file(in_dir(u"log.txt"_s), "old"_ba));
    const QStringList before = dir_entries();
    bool read = false;
    dialog_.answers = {std::nullopt};
    SaveCommand(dialog_, questions_).save_box_to_file([&read](QIODevice &out) {
        read = true;
        out.write("new");
    });

    QCOMPARE(dialog_.shown, 1);
    QVERIFY(!read);
    QCOMPARE(dir_entries(), before);
    if (earlier_file)
        QCOMPARE(read_file(in_dir(u"log.txt"_s)), "old"_ba);
    QCOMPARE(questions_.asked_replace, QStringList{});
    QCOMPARE(questions_.failed_paths, QStringList{});
}

void SaveCommandTest::failure_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("written");
    QTest::addColumn<qsizetype>("box_size");
    QTest::addColumn<bool>("size_limit");
    QTest::addColumn<QString>("reason");

    const QString too_large = QString::fromLocal8Bit(std::strerror(EFBIG));
    QTest::newRow("folder missing") << u"missing/log"_s << u"missing/log.txt"_s << qsizetype(100) << false
                                    << u"文件夹不存在。"_s;
    QTest::newRow("folder is a file") << u"log.txt/log"_s << u"log.txt/log.txt"_s << qsizetype(100) << false
                                      << u"文件夹不存在。"_s;
    QTest::newRow("a folder has the name") << u"sub"_s << u"sub.txt"_s << qsizetype(100) << false
                                           << u"已有同名的文件夹。"_s;
    QTest::newRow("name too long") << QString(260, u'n') << QString(260, u'n') + u".txt"_s << qsizetype(100)
                                   << false << u"文件名太长。"_s;
    QTest::newRow("name too long once .txt is added")
        << QString(253, u'n') << QString(253, u'n') + u".txt"_s << qsizetype(100) << false << u"文件名太长。"_s;
    QTest::newRow("write fails half-way") << u"log.txt"_s << u"log.txt"_s << qsizetype(64 * 1024) << true
                                          << too_large;
    QTest::newRow("write fails at the last piece") << u"log.txt"_s << u"log.txt"_s << qsizetype(8000) << true
                                                   << too_large;
}

void SaveCommandTest::failure()
{
    QFETCH(QString, chosen);
    QFETCH(QString, written);
    QFETCH(qsizetype, box_size);
    QFETCH(bool, size_limit);
    QFETCH(QString, reason);

    QVERIFY(write_file(in_dir(u"log.txt"_s), "old"_ba));
    QVERIFY(QDir(dir_->path()).mkdir(u"sub.txt"_s));
    const QStringList before = dir_entries();
    dialog_.answers = {in_dir(chosen)};
    {
        FileSizeLimit limit(size_limit ? 4096 : RLIM_INFINITY);
        if (size_limit)
            QVERIFY(limit.active());
        SaveCommand(dialog_, questions_).save_box_to_file(streamed(QByteArray(box_size, 'n')));
    }

    QCOMPARE(questions_.failed_paths, QStringList{in_dir(written)});
    QCOMPARE(questions_.failure_reasons, QStringList{reason});
    QCOMPARE(questions_.asked_replace, QStringList{});
    QCOMPARE(read_file(in_dir(u"log.txt"_s)), "old"_ba);
    QVERIFY(QFileInfo(in_dir(u"sub.txt"_s)).isDir());
    QCOMPARE(dir_entries(), before);
}

// A folder no new file can be made in, even by root: sysfs refuses (EACCES), or
// is mounted read-only (EROFS). What the system says is learnt first, by hand.
void SaveCommandTest::failure_in_a_folder_that_takes_no_file()
{
    const QByteArray probe = "/sys/kestrune-save-probe";
    const int fd = ::open(probe.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    const int refused = errno;
    if (fd >= 0) {
        ::close(fd);
        ::unlink(probe.constData());
        QSKIP("/sys takes new files here");
    }
    if (refused != EACCES && refused != EROFS)
        QSKIP(qPrintable(u"/sys refuses a new file with "_s + QString::fromLocal8Bit(std::strerror(refused))));

    dialog_.answers = {u"/sys/kestrune-save"_s};
    SaveCommand(dialog_, questions_).save_box_to_file(streamed("box"_ba));
    QCOMPARE(questions_.failed_paths, QStringList{u"/sys/kestrune-save.txt"_s});
    QCOMPARE(questions_.failure_reasons,
             QStringList{refused == EACCES ? u"没有写入权限。"_s : u"文件系统是只读的。"_s});
}

void SaveCommandTest::failure_reason_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("reason");

    QTest::newRow("EACCES") << EACCES << u"没有写入权限。"_s;
    QTest::newRow("EPERM") << EPERM << u"没有写入权限。"_s;
    QTest::newRow("ENOSPC") << ENOSPC << u"磁盘空间不足。"_s;
    QTest::newRow("EDQUOT") << EDQUOT << u"磁盘空间不足。"_s;
    QTest::newRow("EROFS") << EROFS << u"文件系统是只读的。"_s;
    QTest::newRow("ENAMETOOLONG") << ENAMETOOLONG << u"文件名太长。"_s;
    QTest::newRow("ENOENT") << ENOENT << u"文件夹不存在。"_s;
    QTest::newRow("ENOTDIR") << ENOTDIR << u"文件夹不存在。"_s;
    QTest::newRow("EISDIR") << EISDIR << u"已有同名的文件夹。"_s;
    QTest::newRow("EIO: the system's text") << EIO << QString::fromLocal8Bit(std::strerror(EIO));
    QTest::newRow("no code: the file's text") << 0 << u"the file's text"_s;
}

void SaveCommandTest::failure_reason()
{
    QFETCH(int, code);
    QFETCH(QString, reason);
    QCOMPARE(save_failure_reason(code, u"the file's text"_s), reason);
}

void SaveCommandTest::content_is_read_after_the_dialog_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<bool>("during_question");

    QTest::newRow("bytes arrive while the dialog is shown") << u"other.txt"_s << false;
    QTest::newRow("bytes arrive while the replace question is shown") << u"log"_s << true;
}

void SaveCommandTest::content_is_read_after_the_dialog()
{
    QFETCH(QString, chosen);
    QFETCH(bool, during_question);

    QVERIFY(write_file(in_dir(u"log.txt"_s), "old"_ba));
    QByteArray box = "before"_ba;
    dialog_.answers = {in_dir(chosen)};
    dialog_.while_shown = [&box] { box += " dialog"_ba; };
    questions_.replace_answers = {true};
    questions_.while_asked = [&box] { box += " question"_ba; };
    SaveCommand(dialog_, questions_).save_box_to_file([&box](QIODevice &out) { out.write(box); });

    const QString written = save_file_name(in_dir(chosen));
    QCOMPARE(read_file(written), during_question ? "before dialog question"_ba : "before dialog"_ba);
}

QTEST_GUILESS_MAIN(SaveCommandTest)
#include "test_save_command.moc"
