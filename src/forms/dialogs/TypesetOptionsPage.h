#pragma once
// The Options dialog's "Typeset" page: the preamble the typeset preview
// puts before the table, for the user's own macros.
class QPlainTextEdit;
class QWidget;

// The page, unparented (the page control takes it); preamble receives its
// text box.
QWidget* CreateTypesetPage(QPlainTextEdit*& preamble);
