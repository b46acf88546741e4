#pragma once
// Key codes handed to Control::OnKeyDown are the classic virtual-key codes the handlers
// compare against: 32 space, 37..40 left/up/right/down, 'A'..'Z' and '0'..'9' as ASCII,
// 13 return, 27 escape, 33/34 page up/down, 35/36 end/home, 45/46 insert/delete,
// 112.. F1.., 107/109 keypad plus/minus, 187/189 main plus/minus.
namespace ui::qt {

// 0 for keys without a classic code (modifiers alone, dead keys ...).
int VirtualKeyFromQt(int qtKey, bool keypad);

}  // namespace ui::qt
