#pragma once
// The whole program offscreen: the real window and handlers over a pty pair
// bound to COM1 (COM2 is a missing device), controls found by object name.

#include "app/main_window.h"
#include "app/program.h"
#include "state/program_state.h"
#include "receive/receive_box.h"
#include "pty_pair.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace kestrune::test {

class ProgramFixture
{
protected:
    QTemporaryDir files_;
    std::unique_ptr<PortLinks> links_;
    std::unique_ptr<PtyPair> pty_;
    std::unique_ptr<ProgramState> state_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<Program> program_;

    template <typename T = QAbstractButton>
    T *control(const char *name) const
    {
        T *found = window_->findChild<T *>(QString::fromUtf8(name));
        if (!found)
            qFatal("no control %s", name);
        return found;
    }
    void click(const char *name) { QTest::mouseClick(control(name), Qt::LeftButton); }
    QString received_text() const { return control<ReceiveBox>("接收编辑框")->text(); }
    QString count(const char *box) const { return control<QLineEdit>(box)->text(); }

    // As the user does: the name into the dialog's name field, then Return.
    static void type_name_and_confirm(QFileDialog *dialog, const QString &path)
    {
        auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        QVERIFY(name);
        name->setText(path);
        QTest::keyClick(name, Qt::Key_Return);
    }

    // For initTestCase and cleanupTestCase.
    void make_links()
    {
        QVERIFY(files_.isValid());
        links_ = std::make_unique<PortLinks>();
    }
    void drop_links() { links_.reset(); }

    // For init: a fresh pty and program, started as main starts it.
    void start_program()
    {
        pty_ = std::make_unique<PtyPair>();
        QVERIFY(pty_->is_valid());
        QVERIFY(links_->bind(1, pty_->slave_path()));
        QVERIFY(links_->bind(2, links_->missing_device()));
        state_ = std::make_unique<ProgramState>();
        window_ = std::make_unique<MainWindow>();
        program_ = std::make_unique<Program>(*state_, *window_);
        window_->show();
        on_main_window_ready(*state_);
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    }
    // For cleanup: shut down as main does, the window before the handlers.
    void end_program()
    {
        window_.reset();
        program_.reset();
        on_program_exit(*state_);
        QVERIFY(!state_->lead_byte_store);
        state_.reset();
        pty_.reset();
    }
};

} // namespace kestrune::test
