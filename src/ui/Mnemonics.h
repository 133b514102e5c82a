#pragma once
// The window's mnemonics are letters of its Russian captions, but its fields are typed in the
// English layout, where Alt with a Cyrillic letter cannot be pressed. Each Cyrillic mnemonic
// therefore also answers to Alt with the Latin letter on the same key of the standard Russian
// keyboard (Alt+Н is also Alt+Y), so it works in either layout.

class QWidget;

namespace cq::ui {

/// Gives every captioned control of `window` with a Cyrillic mnemonic its Latin twin.
void AddLatinMnemonics(QWidget* window);

/// The Latin key on the key of a Cyrillic letter (ЙЦУКЕН over QWERTY), or 0 for another letter.
int LatinKeyOf(char16_t cyrillic);

} // namespace cq::ui
