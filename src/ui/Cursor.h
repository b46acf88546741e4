#pragma once
namespace ui {
enum class Cursor { Normal, Busy, Cross, NotAllowed };
const char* CursorName(Cursor c);
}  // namespace ui
