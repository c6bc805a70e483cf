// SPDX-License-Identifier: MIT
#pragma once

#include <QComboBox>

namespace kestrune {

// A drop-down list the user can only pick from: no typing, no clearing, items in
// the order given, each one pixel taller than the style's, opening to at most
// 160 px counted together with the closed field: whole items, and a scroll bar
// when not all of them fit.
class DropDownList : public QComboBox
{
    Q_OBJECT
public:
    static constexpr int open_height = 160;

    explicit DropDownList(QWidget *parent);
    void showPopup() override;
};

} // namespace kestrune
