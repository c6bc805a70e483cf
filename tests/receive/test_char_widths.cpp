// SPDX-License-Identifier: MIT
// Character advances measured ahead on a thread of their own are the ones the
// window thread would measure, for every character two GBK bytes spell.

#include "receive/font_widths.h"
#include "text/gbk.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QTest>

using namespace kestrune;

class TestCharWidths : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void measured_ahead_as_on_the_window_thread_data()
    {
        QTest::addColumn<QFont>("font");
        QFont box_font = QGuiApplication::font(); // as the receive box draws
        box_font.setKerning(false);
        box_font.setStyleStrategy(QFont::PreferNoShaping);
        QTest::newRow("the receive box's font") << box_font;
        QFont large = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        large.setPointSizeF(15.5);
        QTest::newRow("a larger fixed font") << large;
    }
    void measured_ahead_as_on_the_window_thread()
    {
        QFETCH(QFont, font);
        const std::shared_ptr<const AheadWidths> ahead = measure_ahead(font);
        const CharWidths widths = font_widths(font, ahead);
        QTRY_VERIFY_WITH_TIMEOUT(measured_ahead(*ahead), 60000);

        const QFontMetricsF here(font);
        int compared = 0;
        for (int lead = 0x81; lead <= 0xFE; ++lead) {
            for (int trail = 0x40; trail <= 0xFE; ++trail) {
                const char16_t c = gbk_pair(quint8(lead), quint8(trail));
                if (c < 0x100)
                    continue;
                ++compared;
                if (widths.advance(c) != float(here.horizontalAdvance(QChar(c))))
                    QFAIL(qPrintable(QStringLiteral("U+%1: %2 ahead, %3 here")
                                         .arg(int(c), 4, 16, QLatin1Char('0'))
                                         .arg(widths.advance(c))
                                         .arg(here.horizontalAdvance(QChar(c)))));
            }
        }
        QVERIFY(compared > 20000);
    }

    // A box that changes its font at once, or goes away, does not wait for the
    // measuring it started.
    void dropped_before_measured()
    {
        for (int i = 0; i < 20; ++i) {
            const QFont font = QGuiApplication::font();
            const CharWidths widths = font_widths(font, measure_ahead(font));
            QVERIFY(widths.advance(u'\u554A') > 0);
        }
    }
};

QTEST_MAIN(TestCharWidths)
#include "test_char_widths.moc"
