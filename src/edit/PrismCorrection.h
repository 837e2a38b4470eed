// Prism constant correction of "A,B,x,y,z" lines: the vector (x, y, z) keeps its
// direction and its length d becomes d - old + new. Pure: bytes in, bytes out.
#pragma once

#include <optional>
#include <string>
#include <string_view>

enum class PrismResult {
    kCorrected,  // out holds the corrected text
    kUnchanged,  // nothing to correct (empty text); out untouched
    kInvalid,    // a line is not two fields and three numbers; out untouched
    kTooLarge,   // the corrected text would pass the bound of every text; out untouched
};

// Reads a decimal number filling the whole field (blanks around it allowed):
// sign, digits, optional fraction and exponent. Nothing else is a number.
std::optional<double> ParseDecimalField(std::string_view field);

// A constant as typed in the dialog: the leading decimal number of the field
// (leading blanks skipped, the rest ignored), 0 when there is none.
double ParseLeadingDecimal(std::string_view text);

// Millimetres as typed -> metres, held as a 32-bit float like the line values.
float PrismConstantMetres(double typedMillimetres);

// Corrects every CR LF terminated line, and a last line without CR LF (which
// stays without it); blank lines are kept as they are. All or nothing: on
// kInvalid or kTooLarge nothing is produced (the six decimals make a text
// longer: one past the bound could not be opened again once saved).
// invalidLine (optional) receives the 1-based number of the first bad line.
PrismResult CorrectPrismText(std::string_view text, float oldConstMetres, float newConstMetres,
                             std::string& out, std::size_t* invalidLine = nullptr);
