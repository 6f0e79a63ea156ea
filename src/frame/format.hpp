// Formatted output records.
//
// A Rec builds one text record from edit descriptors in the manner of
// formatted sequential output: Iw[.m], Fw.d, Ew.d / Dw.d (with an optional
// scale factor as in 1PE13.5), Gw.d, A / Aw, Lw, nX, Tn and literal text.
// A value too wide for its field fills the field with asterisks.  Infinity
// and NaN print as the Fortran run-time prints them: "Infinity",
// "-Infinity", "Inf", "+Inf", "-Inf" or "NaN", right-justified, whichever
// fits (asterisks when none fits).  The record lives in a fixed buffer: no
// heap use, so routines may build records in their inner paths.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "orvika/orvika_types.h"

namespace orvika {

class Rec {
 public:
  static constexpr std::size_t kCap = 1024;  // longest record

  Rec() = default;

  // Integer, right-justified in W columns; M minimum digits (Iw.m).
  Rec& I(IWORD v, int w, int m = -1);
  // Fixed form with D digits after the decimal point (Fw.d); SCALE as kP.
  Rec& F(double v, int w, int d, int scale = 0);
  // Exponent form with letter E (Ew.d), or D (Dw.d); SCALE 1 gives one
  // digit before the point (1PEw.d).  A three-digit exponent replaces the
  // letter; EXPDIGITS > 0 gives Ew.dEe.
  Rec& E(double v, int w, int d, int scale = 0, int expdigits = 0);
  Rec& D(double v, int w, int d, int scale = 0);
  // General numeric edit (Gw.d): fixed form followed by 4 blanks when the
  // value rounded to D significant digits lies in [0.1, 10^D), else Ew.d.
  Rec& G(double v, int w, int d, int scale = 0);
  // Text as it stands (A, or literal text).
  Rec& A(std::string_view s);
  // Aw: the first W characters of S, or S right-justified in W columns.
  Rec& A(std::string_view s, int w);
  // Lw: W-1 blanks and T or F (the LWORD is tested on bit 0).
  Rec& L(LWORD v, int w);
  Rec& Lb(bool v, int w);
  // nX: N blanks.
  Rec& X(int n);
  // Tn: the next item starts in column N (1-based); earlier text is kept
  // and may be overwritten, a gap is filled with blanks.
  Rec& T(int col);
  // TRn / TLn: move N columns right / left of the current position.
  Rec& TR(int n);
  Rec& TL(int n);

  // List-directed items, as the run-time writes them: each item is preceded
  // by one blank, except text that follows text; an integer is
  // right-justified in 20 columns, a real takes 25 (fixed form with 17
  // significant digits and 5 trailing blanks for 0.1 <= |x| < 1e17, else
  // 1PE25.16E3), text stands as it is.
  Rec& list_int(IWORD v);
  Rec& list_real(double v);
  Rec& list_text(std::string_view s);

  std::string_view view() const { return {buf_, len_}; }
  std::size_t size() const { return len_; }
  void clear() {
    len_ = pos_ = 0;
    last_item_ = 0;
  }

  // Copies the record into a fixed-length text of LEN characters: cut when
  // longer, blank-padded when shorter (an internal write of one record).
  void to_text(char* text, std::size_t len) const;

 private:
  void put(std::string_view s);  // at pos_, extending len_
  void blanks(int n);  // N blanks written at the current position
  void list_sep(bool text);
  char buf_[kCap];
  std::size_t len_ = 0;
  std::size_t pos_ = 0;
  unsigned char last_item_ = 0;  // list-directed: 0 none, 1 number, 2 text
};

// Edit helpers writing into a caller buffer of exactly W characters;
// they return W.  Used by Rec and by tests.
int edit_I(char* out, IWORD v, int w, int m);
int edit_F(char* out, double v, int w, int d, int scale);
int edit_E(char* out, double v, int w, int d, int scale, int expdigits, char letter);
int edit_G(char* out, double v, int w, int d, int scale);

// List-directed read of reals/integers from a text: items separated by
// blanks, commas or slashes (a slash ends the read).  Returns the number of
// items read into OUT (at most MAXN); -1 on a malformed item.
int list_read_reals(std::string_view text, double* out, int maxn);
int list_read_ints(std::string_view text, IWORD* out, int maxn);

}  // namespace orvika
