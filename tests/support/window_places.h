// SPDX-License-Identifier: MIT
#pragma once
// Where the window's controls are, for tests and benchmarks that drive or
// rebuild part of the window: window coordinates, group box children included.

#include <QRect>
#include <QStringView>

namespace kestrune::test {

namespace at {
inline constexpr QRect 串口按钮{589, 13, 80, 24};
inline constexpr QRect 分组框1{16, 50, 320, 462};
inline constexpr QRect 接收编辑框{27, 72, 296, 368};
inline constexpr QRect 清空接收按钮{100, 449, 87, 24};
inline constexpr QRect 接收文本单选框{28, 451, 80, 24};
inline constexpr QRect 接收HEX单选框{28, 477, 80, 24};
inline constexpr QRect 保存接收按钮{100, 479, 87, 24};
inline constexpr QRect 发送编辑框{363, 72, 296, 368};
inline constexpr QRect 发送文本单选框{358, 450, 80, 24};
inline constexpr QRect 发送HEX单选框{358, 479, 80, 24};
inline constexpr QRect 周期编辑框{527, 477, 56, 24};
inline constexpr QRect 发送按钮{592, 447, 73, 24};
inline constexpr QRect 自动按钮{592, 476, 73, 24};
inline constexpr QRect 接收数编辑框{748, 478, 64, 24};

// The receive box inside its group box, for a box shown without the window.
inline constexpr QRect 接收编辑框_in_group = 接收编辑框.translated(-分组框1.topLeft());
} // namespace at

inline constexpr QStringView closed_caption = u"Kestrune  状态:关闭";
inline constexpr QStringView open_caption = u"Kestrune  状态:开启";

} // namespace kestrune::test
