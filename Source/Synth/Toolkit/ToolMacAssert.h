// The assertion reporter. It writes one line to the standard error stream and
// returns: inside a host, a failed check must never stop the process.
#pragma once

// Writes "Assert: <expression>; in file: <file>; line: <line>" (the line part
// only when it still fits in the reporter's buffer). Null texts print empty.
void MacAssert(char const* expression, char const* file, long line);
