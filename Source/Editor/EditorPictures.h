// The editor's pictures, drawn in code: every resource id 0..600 yields a
// picture, so the shared store never answers "none" for a valid id. Id 128
// is the main background; ids without a drawing of their own give a small
// neutral tile until the pages that use them draw their own.
#pragma once

class CBitmap;

namespace EditorPictures {
constexpr int MaxId = 600;
constexpr int MainBackground = 128;
constexpr int MainWidth = 800;
constexpr int MainHeight = 600;
// A new picture (one reference, the caller's) for id 0..MaxId; null otherwise.
CBitmap* make(int id);
} // namespace EditorPictures
