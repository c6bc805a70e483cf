// SPDX-License-Identifier: MIT
#pragma once
// The whole program offscreen: the real window and handlers over a pty pair
// bound to COM1 (COM2 is a missing device), controls found by object name.

#include "app/main_window.h"
#include "app/running_program.h"
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
    std::unique_ptr<RunningProgram> program_;

    MainWindow &window() const { return program_->window(); }
    ProgramState &state() const { return program_->state(); }

    template <typename T = QAbstractButton>
    T *control(const char *name) const
    {
        T *found = window().findChild<T *>(QString::fromUtf8(name));
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
        program_ = std::make_unique<RunningProgram>();
        window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&window()));
    }
    // For cleanup: shut down as main does.
    void end_program()
    {
        program_.reset();
        pty_.reset();
    }
};

} // namespace kestrune::test
