// The arithmetic of form layout: scaling, anchors and centring. Plain integers, no Windows,
// so that it can be checked on any machine.
#pragma once

#include <cstddef>

enum class TAlign { None, Top, Bottom };

namespace layout {

// Rounds like the system's MulDiv: half away from zero. den must not be 0.
constexpr int MulDivRound(int v, int num, int den) {
  const long long p = static_cast<long long>(v) * num;
  const long long d = den < 0 ? -static_cast<long long>(den) : den;
  const long long n = den < 0 ? -p : p;
  return static_cast<int>(n >= 0 ? (n + d / 2) / d : -((-n + d / 2) / d));
}

// A factor num/den applied to every design measure of a form.
struct TScale {
  int num = 1;
  int den = 1;
  constexpr bool IsIdentity() const { return num == den; }
};

// The window font's height (negative: character height) at a window's DPI.
constexpr int FontHeightForDpi(int designHeight, int dpi) {
  return MulDivRound(designHeight, dpi, 96);
}

// A size in pixels at 96 DPI, at another DPI.
constexpr int ForDpi(int v, int dpi) { return MulDivRound(v, dpi, 96); }

// Positions, sizes and the controls' own fonts follow the window font's text height (the
// height of '0') when it differs from the height the form was designed with.
constexpr TScale TextHeightScale(int measured, int designed) {
  return (measured <= 0 || designed <= 0 || measured == designed) ? TScale{}
                                                                    : TScale{measured, designed};
}

constexpr int Scaled(int v, TScale s) { return MulDivRound(v, s.num, s.den); }

struct TRect {
  int left = 0, top = 0, width = 0, height = 0;
  constexpr int right() const { return left + width; }
  constexpr int bottom() const { return top + height; }
  constexpr bool operator==(const TRect& o) const {
    return left == o.left && top == o.top && width == o.width && height == o.height;
  }
};

// Edges are scaled, not sizes, so that neighbouring controls that touch at design still touch.
constexpr TRect ScaledRect(TRect r, TScale s) {
  const int l = Scaled(r.left, s), t = Scaled(r.top, s);
  return TRect{l, t, Scaled(r.right(), s) - l, Scaled(r.bottom(), s) - t};
}

enum TAnchor : unsigned { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };
constexpr unsigned akLeftTop = akLeft | akTop;

// Where a control goes when its parent is dw wider and dh taller than at design. Computed
// from the design rectangle every time, so repeated resizing accumulates no rounding.
// Anchored to both sides it stretches; to the far side only it moves; to neither it keeps
// its centre.
constexpr TRect AnchoredRect(TRect design, unsigned anchors, int dw, int dh) {
  TRect r = design;
  const bool l = anchors & akLeft, rt = anchors & akRight;
  const bool t = anchors & akTop, b = anchors & akBottom;
  if (l && rt) r.width += dw;
  else if (rt) r.left += dw;
  else if (!l) r.left += dw / 2;
  if (t && b) r.height += dh;
  else if (b) r.top += dh;
  else if (!t) r.top += dh / 2;
  if (r.width < 0) r.width = 0;
  if (r.height < 0) r.height = 0;
  return r;
}

// One control of a table as the layout sees it: its container (a row before it, or -1 for the
// client area), how it is held there, and its rectangle at the form's scale.
struct TPlacement {
  int parent;
  unsigned anchors;
  TAlign align;
  TRect base;  // relative to the container, as laid out for the design client area
};

// Where each control goes (in client coordinates) for a client area of clientW x clientH,
// when the table was laid out for designW x designH at the same scale. Every place is
// computed from the base rectangles, never from where a control was before, so that no
// sequence of resizes or changes of scale leaves a trace.
inline void PlaceAll(const TPlacement* rows, std::size_t n, int clientW, int clientH,
                     int designW, int designH, TRect* out) {
  for (std::size_t i = 0; i < n; ++i) {
    const int p = rows[i].parent;
    const bool top = p < 0 || static_cast<std::size_t>(p) >= i;
    const TRect parent = top ? TRect{0, 0, clientW, clientH} : out[p];
    const int pw = top ? designW : rows[p].base.width;
    const int ph = top ? designH : rows[p].base.height;
    const TRect& b = rows[i].base;
    TRect r;
    switch (rows[i].align) {
      case TAlign::Bottom: r = {0, parent.height - b.height, parent.width, b.height}; break;
      case TAlign::Top: r = {0, 0, parent.width, b.height}; break;
      case TAlign::None:
      default: r = AnchoredRect(b, rows[i].anchors, parent.width - pw, parent.height - ph); break;
    }
    out[i] = {parent.left + r.left, parent.top + r.top, r.width, r.height};
  }
}

// The origin that centres an extent of size within [origin, origin + area): the half is
// truncated toward zero and a negative result is raised to 0.
constexpr int CentredOrigin(int areaOrigin, int areaSize, int size) {
  const int v = areaOrigin + (areaSize - size) / 2;
  return v < 0 ? 0 : v;
}

}  // namespace layout
