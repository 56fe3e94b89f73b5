#pragma once
// Whether two directory texts name the same directory.

namespace kvt {

// Compares the canonical forms (expanded when asked, made absolute, long names) without
// regard to letter case. A text without a canonical form (null, a directory that does not
// exist, a failed expansion) is compared as written instead, also without regard to case.
bool same_directory(const wchar_t* a, bool expand_a, const wchar_t* b, bool expand_b);

} // namespace kvt
