#pragma once
// The help texts chosen by help context: the hint box at the bottom of the main window and the
// information panel show them.

#include <string>

namespace cq::ui {

class RichTextBox;

/// Help contexts that name no help text.
inline constexpr int kHelpEmpty = -1; ///< the box is emptied
inline constexpr int kHelpHint = 0;   ///< the caller's hint, as plain text

/// Help contexts of the information labels.
inline constexpr int kHelpRsaProcedure = 97;     ///< procedure for an RSA certificate
inline constexpr int kHelpGostProcedure = 98;    ///< procedure for a GOST certificate
inline constexpr int kHelpCertificateFiles = 99; ///< the files of a received certificate

/// The name of the help text of a context (7 to 15, 97 to 99), or "" for any other.
std::string HelpResourceName(int context);

/// The bytes of the help text `name` up to its closing zero byte; "" when there is none.
std::string LoadTextResource(const std::string& name);

/// Puts the text of a help context into a box: -1 empties it, 0 shows `hintText`, 7 to 15 and
/// 97 to 99 their formatted help texts. Raises Exception "Нет информации под идексом - "N""
/// for any other context, with the box already emptied.
void FillHelpText(RichTextBox& box, int context, const std::string& hintText);

} // namespace cq::ui
