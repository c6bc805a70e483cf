// SPDX-License-Identifier: MIT
// The real program as a user meets it: started on the harness's own Xvfb, its
// line a pty, fed as fast as the pty takes bytes, in HEX and in text mode.
// Prints throughput to the window, CPU per MB, event-loop lateness (answers to
// _NET_WM_PING), resident memory per stored character and start-up time, as
// medians over several runs. Kestrune is driven through its controls; any
// other terminal that takes its port on the command line can be measured too.
// With --hours, one long capture of that many hours of a 460800-baud line, fed
// at full speed: resident memory from start to end, the history's room on disk,
// a jump to the top and the save of the whole capture.

#include "feed.h"
#include "ping_probe.h"
#include "process_figures.h"
#include "x_display.h"
#include "pty_pair.h"
#include "window_places.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <poll.h>
#include <unistd.h>

#include <X11/Xlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <optional>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;
using namespace kestrune::bench;
using namespace kestrune::test::at;

namespace {

constexpr double megabyte = 1 << 20;
constexpr double line_rate = 46080; // bytes per second at 460800 baud, 10 bits a byte

enum class Mode { hex, text };

const char *mode_name(Mode mode) { return mode == Mode::hex ? "HEX " : "text"; }

struct Options {
    QStringList command; // program and arguments, {port} standing for the line's device
    bool kestrune = true;
    QRegularExpression title;
    Mode default_mode = Mode::hex;
    QStringList hex_keys;  // xdotool keys that switch another program to HEX display
    QStringList text_keys; // and to text display
    qint64 bytes = 0;
    int runs = 5;
    double quiet_s = 0.3;
    int ping_ms = 10;
    std::vector<Mode> modes;
    std::vector<Mode> unreachable; // asked for, but no keys switch the program to them
    QString screenshots; // a folder for a picture of the window at the end of each run
    double hours = 0;    // a long capture of this many hours of line rate instead
    QString cache;       // the program's cache folder (default: one of the run's own)
};

struct Run {
    double startup_s = 0;
    double taken_s = 0;  // until the pty had taken the last byte
    double shown_s = 0;  // until the program had finished with it
    double mb_per_s = 0;
    double cpu_s_per_mb = 0;
    double x_cpu_s_per_mb = 0; // the X server's share of the drawing
    double late_p50 = 0, late_p99 = 0, late_max = 0;
    double idle_p50 = 0, idle_p99 = 0;
    int unanswered = 0;
    double rss_growth_mb = 0;
    double rss_peak_growth_mb = 0; // VmHWM: what the backlog cost on the way
    double bytes_per_char = 0;
    QString saved; // kestrune: how the receive box saved after the run compares with the feed
    double save_mb_per_s = 0; // the saved file's size over the time from the dialog's Return to the last byte
    // The long capture's figures.
    double rss_start_mb = 0, rss_end_mb = 0, rss_peak_mb = 0, rss_saved_mb = 0;
    double disk_bytes_per_char = 0;
    double jump_late_ms = 0; // the latest ping answer in the second after Ctrl+Home
};

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, std::size_t(p * double(values.size())))];
}

void sleep_s(double seconds)
{
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

QString load_average()
{
    QFile file(u"/proc/loadavg"_s);
    if (!file.open(QIODevice::ReadOnly))
        return u"?"_s;
    return QString::fromLatin1(file.readAll()).section(u' ', 0, 2);
}

// Writes the feed into the master on its own thread as fast as the pty takes it,
// reading and dropping whatever the program writes back.
class Feeder
{
public:
    Feeder(int master, const Feed &feed) : last_taken_(now_seconds())
    {
        thread_ = std::thread([this, master, &feed] { write_all(master, feed.bytes, feed.size); });
    }
    Feeder(const Feeder &) = delete;
    Feeder &operator=(const Feeder &) = delete;
    ~Feeder()
    {
        give_up_ = true;
        thread_.join();
    }

    bool done() const { return done_; }
    double done_at() const { return done_at_; }
    double seconds_since_taken() const { return now_seconds() - last_taken_; }

private:
    // bytes over and over until total are written.
    void write_all(int master, const QByteArray &bytes, qint64 total)
    {
        qint64 sent = 0;
        char sink[4096];
        while (sent < total && !give_up_) {
            const auto at = qsizetype(sent % bytes.size());
            const ssize_t n = ::write(master, bytes.constData() + at,
                                      std::size_t(std::min<qint64>({bytes.size() - at, total - sent, 65536})));
            if (n > 0) {
                sent += n;
                last_taken_ = now_seconds();
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                break;
            pollfd p{master, POLLOUT | POLLIN, 0};
            ::poll(&p, 1, 200);
            if (p.revents & POLLIN)
                while (::read(master, sink, sizeof sink) > 0) {
                }
        }
        done_at_ = now_seconds();
        done_ = true;
    }

    std::atomic<bool> done_{false};
    std::atomic<double> done_at_{0};
    std::atomic<bool> give_up_{false};
    std::atomic<double> last_taken_;
    std::thread thread_;
};

struct Sample {
    double at;
    qint64 ticks;
    qint64 x_ticks;
};

// Samples the CPU of the program and of its X server every 20 ms until both have
// stayed quiet (one clock tick between them) for quiet_s, after the feeder (if
// any) is done. Returns the first sample that already had the CPU times the
// quiet stretch began with: the moment the window was finished, give or take one
// tick and one sample.
std::optional<Sample> wait_until_quiet(qint64 pid, qint64 x_pid, double quiet_s, double timeout_s,
                                       const Feeder *feeder, QString &why)
{
    std::vector<Sample> samples;
    const double start = now_seconds();
    while (now_seconds() - start < timeout_s) {
        const Sample s{now_seconds(), cpu_ticks(pid), cpu_ticks(x_pid)};
        if (s.ticks < 0) {
            why = u"the program ended"_s;
            return std::nullopt;
        }
        samples.push_back(s);
        if (feeder && !feeder->done()) {
            if (feeder->seconds_since_taken() > 10) {
                why = u"the program took no byte for 10 s: is its line open?"_s;
                return std::nullopt;
            }
        } else {
            // The latest sample at least quiet_s old.
            auto old = std::find_if(samples.rbegin(), samples.rend(),
                                    [&](const Sample &e) { return s.at - e.at >= quiet_s; });
            if (old != samples.rend() && (s.ticks - old->ticks) + (s.x_ticks - old->x_ticks) <= 1) {
                return *std::find_if(samples.begin(), samples.end(), [&](const Sample &e) {
                    return e.ticks >= old->ticks && e.x_ticks >= old->x_ticks;
                });
            }
        }
        sleep_s(0.02);
    }
    why = u"the program was still busy after %1 s"_s.arg(timeout_s);
    return std::nullopt;
}

class Measurement
{
public:
    Measurement(const Options &options, XDisplay &display) : options_(options), display_(display) {}

    std::optional<Run> run(Mode mode, const Feed &feed, const QString &label);

private:
    bool fail(const QString &why)
    {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        QFile log(dir_->filePath(u"program.log"_s));
        if (log.open(QIODevice::ReadOnly)) {
            const QByteArray tail = log.readAll().right(2000);
            if (!tail.isEmpty())
                std::fprintf(stderr, "the program said:\n%s\n", tail.constData());
        }
        return false;
    }
    bool start_program(Run &run);
    bool set_up_line(Mode mode);
    void stop_program();
    QString check_saved_box(const QByteArray &expected, qint64 size, Run &run);
    double jump_to_top();

    const Options &options_;
    XDisplay &display_;
    std::optional<QTemporaryDir> dir_; // fresh for every run, as are the pty and the program
    std::optional<kestrune::test::PtyPair> pty_; // the harness writes the master
    QProcess program_;
    WindowId window_ = 0;
};

bool Measurement::start_program(Run &run)
{
    pty_.emplace();
    if (!pty_->is_valid())
        return fail(u"openpty failed"_s);
    QProcessEnvironment env = display_.environment();
    env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    env.remove(u"QT_QPA_PLATFORMTHEME"_s);
    if (options_.kestrune) {
        // COM1 is the pty, by the link the program looks for; another program
        // keeps the user's own configuration, as it would be met.
        env.insert(u"XDG_CONFIG_HOME"_s, dir_->filePath(u"config"_s));
        env.insert(u"XDG_CACHE_HOME"_s, options_.cache.isEmpty() ? dir_->filePath(u"cache"_s) : options_.cache);
        QDir().mkpath(dir_->filePath(u"config/kestrune/ports"_s));
        if (!QFile::link(pty_->slave_path(), dir_->filePath(u"config/kestrune/ports/COM1"_s)))
            return fail(u"cannot link COM1 to the pty"_s);
    }
    QStringList arguments = options_.command;
    for (QString &argument : arguments)
        argument.replace(u"{port}"_s, pty_->slave_path());
    const QString program = arguments.takeFirst();
    program_.setProcessEnvironment(env);
    program_.setProcessChannelMode(QProcess::MergedChannels);
    program_.setStandardOutputFile(dir_->filePath(u"program.log"_s));
    program_.setStandardInputFile(QProcess::nullDevice());

    const double started = now_seconds();
    program_.start(program, arguments);
    if (!program_.waitForStarted())
        return fail(u"cannot start "_s + program + u": "_s + program_.errorString());
    while (now_seconds() - started < 30 && program_.state() == QProcess::Running) {
        window_ = display_.find_window(options_.title);
        if (window_ && display_.is_painted(window_)) {
            run.startup_s = now_seconds() - started;
            return true;
        }
        sleep_s(0.005);
    }
    return fail(u"no painted window whose title matches "_s + options_.title.pattern() + u" within 30 s"_s);
}

bool Measurement::set_up_line(Mode mode)
{
    if (!options_.kestrune) {
        const QStringList &keys = mode == Mode::hex ? options_.hex_keys : options_.text_keys;
        if (mode != options_.default_mode) {
            // Keys go where the pointer is: there is no window manager to give focus.
            display_.point_at(window_, {8, 8});
            display_.keys(keys);
        }
        return true;
    }
    display_.click(window_, mode == Mode::hex ? 接收HEX单选框 : 接收文本单选框);
    display_.click(window_, 串口按钮);
    for (int wait = 0; wait < 1000; ++wait) {
        if (display_.title(window_).endsWith(u"状态:开启"_s))
            return true;
        sleep_s(0.01);
    }
    return fail(u"the line did not open (title: "_s + display_.title(window_) + u")"_s);
}

void Measurement::stop_program()
{
    if (program_.state() != QProcess::NotRunning) {
        // Closed as a user closes it, so that it releases its line (and its lock file).
        display_.close(window_);
        if (program_.waitForFinished(5000))
            return;
        program_.terminate();
        if (!program_.waitForFinished(10000)) {
            program_.kill();
            program_.waitForFinished();
        }
    }
}

// Saves the receive box through the program's own dialog, as a user would, and
// compares the file with what the box should hold: every byte fed, displayed,
// which is expected over and over until size bytes.
QString Measurement::check_saved_box(const QByteArray &expected, qint64 size, Run &run)
{
    const QString path = dir_->filePath(u"received"_s);
    QFile file(path + u".txt"_s);
    display_.click(window_, 保存接收按钮);
    sleep_s(1.5); // the dialog comes up with its name field focused
    display_.type(path);
    const double asked = now_seconds();
    display_.keys({u"Return"_s});
    const double timeout = 60 + double(size) / 50e6;
    double last_growth = now_seconds();
    qint64 seen = -1;
    while (now_seconds() - asked < timeout && file.size() < size) {
        if (file.size() != seen) {
            seen = file.size();
            last_growth = now_seconds();
        }
        sleep_s(0.002);
    }
    if (file.size() >= size)
        last_growth = now_seconds();
    run.save_mb_per_s = double(file.size()) / megabyte / std::max(last_growth - asked, 1e-3);
    sleep_s(0.2);
    if (!file.open(QIODevice::ReadOnly))
        return u"box not saved"_s;
    if (file.size() != size)
        return u"box saved: %1 bytes, %2 expected"_s.arg(file.size()).arg(size);
    for (qint64 at = 0; at < size;) {
        const QByteArray piece = file.read(expected.size());
        const QByteArray want = expected.left(piece.size());
        if (piece.isEmpty())
            return u"box saved: reading stopped at %1"_s.arg(at);
        if (piece != want) {
            qsizetype first = 0;
            while (piece[first] == want[first])
                ++first;
            return u"box saved: %1 bytes, first difference at %2"_s.arg(size).arg(at + first);
        }
        at += piece.size();
    }
    return u"box saved = feed"_s;
}

// Ctrl+Home in the receive box, as a user jumps to the top of the history: how
// late the event loop answers in the second after, that is how long it was held.
double Measurement::jump_to_top()
{
    PingProbe probe(display_.name(), window_, 2);
    sleep_s(0.3);
    display_.click(window_, 接收编辑框);
    sleep_s(0.3);
    const double pressed = now_seconds();
    display_.keys({u"ctrl+Home"_s});
    sleep_s(1);
    const std::vector<PingProbe::Ping> pings = probe.stop();
    const std::vector<double> late = ping_delays_ms(pings, pressed, pressed + 1);
    return late.empty() ? -1 : *std::max_element(late.begin(), late.end());
}

// The room the program's history file takes on disk: a file it holds open in
// folder, unlinked or not.
qint64 history_disk_bytes(qint64 pid, const QString &folder)
{
    const QDir fds(u"/proc/%1/fd"_s.arg(pid));
    const QByteArray prefix = QFile::encodeName(QDir(folder).canonicalPath());
    qint64 bytes = 0;
    for (const QString &fd : fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        const QByteArray link = QFile::encodeName(fds.filePath(fd));
        char target[4096];
        const ssize_t n = ::readlink(link.constData(), target, sizeof target - 1);
        if (n <= 0 || !QByteArray(target, n).startsWith(QByteArray(prefix + '/')))
            continue;
        struct stat info {};
        if (::stat(link.constData(), &info) == 0 && S_ISREG(info.st_mode))
            bytes += qint64(info.st_blocks) * 512;
    }
    return bytes;
}

std::optional<Run> Measurement::run(Mode mode, const Feed &feed, const QString &label)
{
    dir_.emplace();
    Run run;
    const auto done = qScopeGuard([this] { stop_program(); });
    if (!start_program(run) || !set_up_line(mode))
        return std::nullopt;
    const qint64 pid = program_.processId();
    const qint64 x_pid = display_.server_pid();
    QString why;
    if (!wait_until_quiet(pid, x_pid, options_.quiet_s, 20, nullptr, why)) {
        fail(u"the program did not settle after start-up: "_s + why);
        return std::nullopt;
    }

    PingProbe probe(display_.name(), window_, options_.ping_ms);
    if (!probe.connected()) {
        fail(u"the probe cannot connect to the display"_s);
        return std::nullopt;
    }
    sleep_s(1); // pings while nothing arrives: what the machine's noise alone costs
    const qint64 rss_before = resident_bytes(pid);
    const qint64 ticks_before = cpu_ticks(pid);
    const qint64 x_ticks_before = cpu_ticks(x_pid);
    const double feed_start = now_seconds();
    std::optional<Sample> end;
    {
        const Feeder feeder(pty_->master(), feed);
        const double timeout = 60 + double(feed.size) / 100e3; // slower than 100 kB/s is a failure
        end = wait_until_quiet(pid, x_pid, options_.quiet_s, timeout, &feeder, why);
        run.taken_s = feeder.done_at() - feed_start;
    }
    const qint64 rss_after = resident_bytes(pid);
    const qint64 rss_peak = peak_resident_bytes(pid);
    const std::vector<PingProbe::Ping> pings = probe.stop();
    if (!end) {
        fail(u"the run did not finish: "_s + why);
        return std::nullopt;
    }

    const double megabytes = double(feed.size) / megabyte;
    // Nothing can be shown before the pty has taken it; the CPU samples are 20 ms apart.
    run.shown_s = std::max(end->at - feed_start, run.taken_s);
    run.mb_per_s = megabytes / run.shown_s;
    run.cpu_s_per_mb = ticks_to_seconds(end->ticks - ticks_before) / megabytes;
    run.x_cpu_s_per_mb = ticks_to_seconds(end->x_ticks - x_ticks_before) / megabytes;
    const std::vector<double> late = ping_delays_ms(pings, feed_start, end->at);
    const std::vector<double> idle = ping_delays_ms(pings, feed_start - 1, feed_start);
    run.unanswered = int(std::count_if(pings.begin(), pings.end(), [](const auto &p) { return p.answered < 0; }));
    run.late_p50 = percentile(late, 0.5);
    run.late_p99 = percentile(late, 0.99);
    run.late_max = late.empty() ? 0 : *std::max_element(late.begin(), late.end());
    run.idle_p50 = percentile(idle, 0.5);
    run.idle_p99 = percentile(idle, 0.99);
    const qint64 characters = mode == Mode::hex ? feed.hex_characters : feed.text_characters;
    run.rss_growth_mb = double(rss_after - rss_before) / megabyte;
    run.rss_peak_growth_mb = double(rss_peak - rss_before) / megabyte;
    run.bytes_per_char = double(rss_after - rss_before) / double(characters);

    if (!options_.screenshots.isEmpty())
        display_.screenshot(window_, QDir(options_.screenshots).filePath(label + u".png"_s));
    run.rss_start_mb = double(rss_before) / megabyte;
    run.rss_end_mb = double(rss_after) / megabyte;
    run.rss_peak_mb = double(rss_peak) / megabyte;
    if (options_.kestrune) {
        const QString cache = options_.cache.isEmpty() ? dir_->filePath(u"cache"_s) : options_.cache;
        run.disk_bytes_per_char = double(history_disk_bytes(pid, cache)) / double(characters);
        if (options_.hours > 0)
            run.jump_late_ms = jump_to_top();
        if (mode == Mode::hex)
            run.saved = check_saved_box(hex_display(feed.bytes), feed.hex_characters, run);
        else
            run.saved = check_saved_box(feed.bytes, feed.size, run);
        run.rss_saved_mb = double(resident_bytes(pid)) / megabyte;
    }
    return run;
}

void print_run(const char *label, const Run &r, bool long_capture)
{
    std::printf("%s %5.1f MB/s (pty took all in %5.2f s, done %5.2f s)  %5.3f CPU s/MB (X server %5.3f)"
                "  lateness p50 %4.1f p99 %5.1f max %5.1f ms (idle p99 %4.1f)  RSS +%5.1f MB (peak +%5.1f) = %4.2f B/char"
                "  start-up %3.0f ms",
                label, r.mb_per_s, r.taken_s, r.shown_s, r.cpu_s_per_mb, r.x_cpu_s_per_mb, r.late_p50, r.late_p99, r.late_max, r.idle_p99,
                r.rss_growth_mb, r.rss_peak_growth_mb, r.bytes_per_char, r.startup_s * 1000);
    if (!r.saved.isEmpty())
        std::printf("  %s (save %.0f MB/s)", qPrintable(r.saved), r.save_mb_per_s);
    if (r.unanswered > 0)
        std::printf("  (%d pings unanswered)", r.unanswered);
    std::printf("\n");
    if (long_capture) {
        std::printf("  resident memory (VmRSS): %.1f MB before the feed, %.1f MB at its end, peak (VmHWM) %.1f MB,"
                    " %.1f MB after the save\n",
                    r.rss_start_mb, r.rss_end_mb, r.rss_peak_mb, r.rss_saved_mb);
        std::printf("  history on disk: %.3f bytes per stored character\n", r.disk_bytes_per_char);
        std::printf("  Ctrl+Home at the end: the event loop answered within %.1f ms (pings every 2 ms)\n",
                    r.jump_late_ms);
        std::printf("  save of the whole capture through the dialog: %.0f MB/s of file written\n", r.save_mb_per_s);
    }
    std::fflush(stdout);
}

template <typename Field>
double median_of(const std::vector<Run> &runs, Field field)
{
    std::vector<double> values;
    for (const Run &r : runs)
        values.push_back(field(r));
    return median(values);
}

QString default_binary()
{
    // The build tree puts this program in bench/terminal and kestrune in src/app.
    const QString beside = QCoreApplication::applicationDirPath() + u"/../../src/app/kestrune"_s;
    return QFileInfo::exists(beside) ? QFileInfo(beside).canonicalFilePath() : QString();
}

std::optional<Options> parse(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Measures a serial terminal end to end on its own Xvfb: throughput, CPU, event-loop lateness,"
        " memory per character and start-up. Kestrune by default; --program for another terminal."_s);
    parser.addHelpOption();
    const QCommandLineOption binary(u"binary"_s, u"The kestrune binary (default: the one in this build)."_s,
                                    u"path"_s);
    const QCommandLineOption program(u"program"_s,
                                     u"Another terminal's command line; {port} stands for the line's device."_s,
                                     u"command"_s);
    const QCommandLineOption window_name(u"window-name"_s,
                                         u"Regular expression for the window's title (default ^Kestrune, or any)."_s,
                                         u"regex"_s);
    const QCommandLineOption default_mode(u"default-mode"_s,
                                          u"The display mode another program starts in: hex or text (text)."_s,
                                          u"mode"_s, u"text"_s);
    const QCommandLineOption hex_keys(u"hex-keys"_s, u"xdotool keys that switch another program to HEX display."_s,
                                      u"keys"_s);
    const QCommandLineOption text_keys(u"text-keys"_s, u"xdotool keys that switch it to text display."_s, u"keys"_s);
    const QCommandLineOption modes(u"modes"_s, u"Modes to measure: hex,text (both)."_s, u"list"_s, u"hex,text"_s);
    const QCommandLineOption megabytes(u"megabytes"_s, u"MB (2^20 bytes) fed per run (20)."_s, u"n"_s, u"20"_s);
    const QCommandLineOption runs(u"runs"_s, u"Runs per mode, each with a fresh start (5)."_s, u"n"_s, u"5"_s);
    const QCommandLineOption quiet(u"quiet-ms"_s, u"CPU-idle time that ends a run (300)."_s, u"ms"_s, u"300"_s);
    const QCommandLineOption screenshots(u"screenshots"_s, u"Save a picture of the window after each run here."_s,
                                         u"folder"_s);
    const QCommandLineOption hours(u"hours"_s,
                                   u"One long capture of this many hours of a 460800-baud line, fed at full speed"
                                   " (HEX mode unless --modes says otherwise)."_s,
                                   u"n"_s);
    const QCommandLineOption cache(u"cache"_s, u"The program's cache folder (XDG_CACHE_HOME; default: the run's own)."_s,
                                   u"folder"_s);
    parser.addOptions(
        {binary, program, window_name, default_mode, hex_keys, text_keys, modes, megabytes, runs, quiet, screenshots,
         hours, cache});
    parser.process(app);

    Options options;
    if (parser.isSet(program)) {
        options.kestrune = false;
        options.command = QProcess::splitCommand(parser.value(program));
        if (options.command.isEmpty() || !parser.value(program).contains(u"{port}"_s))
            std::fprintf(stderr, "warning: the command has no {port}\n");
    } else {
        const QString path = parser.isSet(binary) ? parser.value(binary) : default_binary();
        if (path.isEmpty() || !QFileInfo(path).isExecutable()) {
            std::fprintf(stderr, "no kestrune binary: give --binary\n");
            return std::nullopt;
        }
        options.command = {path};
    }
    options.title = QRegularExpression(
        parser.isSet(window_name) ? parser.value(window_name) : options.kestrune ? u"^Kestrune"_s : u"."_s);
    options.default_mode = options.kestrune || parser.value(default_mode) == u"hex"_s ? Mode::hex : Mode::text;
    options.hex_keys = parser.value(hex_keys).split(u' ', Qt::SkipEmptyParts);
    options.text_keys = parser.value(text_keys).split(u' ', Qt::SkipEmptyParts);
    options.bytes = qint64(parser.value(megabytes).toDouble() * megabyte);
    options.runs = std::max(1, parser.value(runs).toInt());
    options.screenshots = parser.value(screenshots);
    options.cache = parser.value(cache);
    if (parser.isSet(hours)) {
        options.hours = parser.value(hours).toDouble();
        options.bytes = qint64(options.hours * 3600 * line_rate);
        if (!parser.isSet(runs))
            options.runs = 1;
    }
    options.quiet_s = std::max(50, parser.value(quiet).toInt()) / 1000.0;
    const QString wanted = options.hours > 0 && !parser.isSet(modes) ? u"hex"_s : parser.value(modes);
    for (const QString &m : wanted.split(u',', Qt::SkipEmptyParts)) {
        const Mode mode = m == u"hex"_s ? Mode::hex : Mode::text;
        const bool reachable = options.kestrune || mode == options.default_mode
                               || !(mode == Mode::hex ? options.hex_keys : options.text_keys).isEmpty();
        if (reachable)
            options.modes.push_back(mode);
        else
            options.unreachable.push_back(mode);
    }
    if (options.bytes <= 0 || options.modes.empty()) {
        std::fprintf(stderr, "nothing to measure\n");
        return std::nullopt;
    }
    return options;
}

} // namespace

int main(int argc, char **argv)
{
    XInitThreads(); // the ping probe has a connection of its own on its own thread
    QCoreApplication app(argc, argv);
    const std::optional<Options> options = parse(app);
    if (!options)
        return 2;

    XDisplay display;
    QString error;
    if (!display.start(error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    // A long capture writes one feed of 16 MB over and over.
    const qint64 block = options->hours > 0 ? std::min<qint64>(options->bytes, 16 << 20) : options->bytes;
    const Feed hex_feed = repeated(byte_feed(block), options->bytes, false);
    const Feed text_feed_ = repeated(text_feed(block), options->bytes, true);

    std::printf("%s\n", qPrintable(options->command.join(u' ')));
    std::printf("on Xvfb %s 1280x800x24, no window manager; %ld cores; load average %s\n",
                qPrintable(display.name()), sysconf(_SC_NPROCESSORS_ONLN), qPrintable(load_average()));
    std::printf("per run: HEX %lld bytes (%lld characters), text %lld bytes (%lld characters);"
                " MB = 2^20 bytes; a fresh start for every run\n",
                static_cast<long long>(hex_feed.size), static_cast<long long>(hex_feed.hex_characters),
                static_cast<long long>(text_feed_.size), static_cast<long long>(text_feed_.text_characters));
    if (options->hours > 0)
        std::printf("a long capture: %g hours of a 460800-baud line (%.0f bytes a second), fed as fast as the pty takes it\n",
                    options->hours, line_rate);
    if (!options->kestrune)
        std::printf("the program starts in %s mode\n", mode_name(options->default_mode));
    for (const Mode mode : options->unreachable)
        std::printf("%s mode: not measured, no keys given that switch the program to it\n", mode_name(mode));
    std::fflush(stdout);

    Measurement measurement(*options, display);
    std::vector<Run> results[2];
    std::vector<double> startups;
    // Modes take turns, so that a noisy stretch of the machine does not fall on one mode only.
    for (int r = 0; r < options->runs; ++r) {
        for (const Mode mode : options->modes) {
            const Feed &feed = mode == Mode::hex ? hex_feed : text_feed_;
            const QString name = (mode == Mode::hex ? u"hex-"_s : u"text-"_s) + QString::number(r + 1);
            const std::optional<Run> run = measurement.run(mode, feed, name);
            if (!run)
                return 1;
            results[int(mode)].push_back(*run);
            startups.push_back(run->startup_s);
            const QByteArray label = QByteArray(mode_name(mode)) + " run " + QByteArray::number(r + 1) + ':';
            print_run(label.constData(), *run, options->hours > 0);
        }
    }

    std::printf("\nload average now %s\n", qPrintable(load_average()));
    for (const Mode mode : options->modes) {
        const std::vector<Run> &runs = results[int(mode)];
        const auto figure = [&](auto field) { return median_of(runs, field); };
        const auto [slowest, fastest] = std::minmax_element(
            runs.begin(), runs.end(), [](const Run &a, const Run &b) { return a.mb_per_s < b.mb_per_s; });
        const qint64 characters = mode == Mode::hex ? hex_feed.hex_characters : text_feed_.text_characters;
        std::printf("%s mode, medians of %zu runs:\n", mode_name(mode), runs.size());
        std::printf("  received to the window  %.1f MB/s (runs from %.1f to %.1f)\n",
                    figure([](const Run &r) { return r.mb_per_s; }), slowest->mb_per_s, fastest->mb_per_s);
        std::printf("  CPU                     %.3f s per MB (and the X server %.3f s)\n",
                    figure([](const Run &r) { return r.cpu_s_per_mb; }),
                    figure([](const Run &r) { return r.x_cpu_s_per_mb; }));
        std::printf("  event-loop lateness     p50 %.1f ms, p99 %.1f ms, max %.1f ms (before the feed: p50 %.1f, p99 %.1f)\n",
                    figure([](const Run &r) { return r.late_p50; }), figure([](const Run &r) { return r.late_p99; }),
                    figure([](const Run &r) { return r.late_max; }), figure([](const Run &r) { return r.idle_p50; }),
                    figure([](const Run &r) { return r.idle_p99; }));
        std::printf("  resident memory         %.2f bytes per %s character (+%.1f MB for %lld characters%s)\n",
                    figure([](const Run &r) { return r.bytes_per_char; }), options->kestrune ? "stored" : "received",
                    figure([](const Run &r) { return r.rss_growth_mb; }), static_cast<long long>(characters),
                    options->kestrune ? "" : "; it may keep only its scrollback");
    }
    std::printf("start-up to the first painted window: median %.0f ms of %zu starts (the first %.0f ms)\n",
                median(startups) * 1000, startups.size(), startups.front() * 1000);
    return 0;
}
