#pragma once

#include <span>
#include <string_view>
#include <vector>

#include <QStringView>

namespace pvelm::compiler {

// What a stretch of a source line is, for colouring it the way the compiler
// reads it.
enum class SyntaxKind : quint8 {
    Keyword, // a statement keyword, a register prefix, or a word such as RATE= or GOTO inside a statement
    Number,  // a run of digits the statement reads
    Label,   // a label definition, or the label a jump names
    Comment, // from the first "/" to the end of the line
    Invalid, // no statement begins the line and it is too long for a label: the compiler ignores it
};

struct SyntaxSpan
{
    int start = 0; // column in the line as written, 0-based
    int length = 0;
    SyntaxKind kind = SyntaxKind::Keyword;
};

// How the compiler takes a whole line.
enum class LineKind { Blank, Statement, Label, Invalid };

// Classifies one source line as written (blanks, commas, tabs and lower case
// included) and fills `spans` with its coloured stretches in column order.
// Blanks, commas and tabs inside a stretch belong to it, since the compiler
// drops them: "1,500" is one number. `spans` is cleared first and may be
// reused from line to line, so colouring a long script allocates little.
LineKind classifyLine(QStringView line, std::vector<SyntaxSpan> &spans);

// The statement keywords, in the order the compiler tries them on a cleaned
// line (the register prefixes come after them).
std::span<const std::string_view> statementKeywords();

} // namespace pvelm::compiler
