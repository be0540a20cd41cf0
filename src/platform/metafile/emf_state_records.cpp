// State records: window and viewport, mapping mode, world transform, saving and restoring
// the DC, and the drawing attributes (colours, modes, alignment).
#include "platform/metafile/emf_player.h"

namespace platform::emf {

void EnhancedPlayer::StateRecord(uint32_t type, const meta::Reader& r) {
    switch (type) {
        case 9:
            page_.wex = r.I32(8), page_.wey = r.I32(12);
            Update();
            break;
        case 10:
            page_.wox = r.I32(8), page_.woy = r.I32(12);
            Update();
            break;
        case 11:
            page_.vex = r.I32(8), page_.vey = r.I32(12);
            Update();
            break;
        case 12:
            page_.vox = r.I32(8), page_.voy = r.I32(12);
            Update();
            break;
        case 17:
            if (r.U32(8) >= MM_TEXT && r.U32(8) <= MM_ANISOTROPIC) {
                page_.mapMode = static_cast<int>(r.U32(8));
                Update();
            }
            break;
        case 31:    // ScaleViewportExtEx
        case 32: {  // ScaleWindowExtEx
            const int32_t xNum = r.I32(8), xDen = r.I32(12), yNum = r.I32(16), yDen = r.I32(20);
            if (xDen == 0 || yDen == 0) break;
            double& ex = type == 31 ? page_.vex : page_.wex;
            double& ey = type == 31 ? page_.vey : page_.wey;
            ex = ex * xNum / xDen;
            ey = ey * yNum / yDen;
            Update();
            break;
        }
        case 35: {  // SetWorldTransform
            page_.world = Affine{r.F32(8), r.F32(12), r.F32(16), r.F32(20), r.F32(24), r.F32(28)};
            Update();
            break;
        }
        case 36: {  // ModifyWorldTransform
            const Affine x{r.F32(8), r.F32(12), r.F32(16), r.F32(20), r.F32(24), r.F32(28)};
            switch (r.U32(32)) {
                case 1:
                    page_.world = Affine{};
                    break;
                case 2:
                    page_.world = x.Then(page_.world);
                    break;
                case 3:
                    page_.world = page_.world.Then(x);
                    break;
                case 4:
                    page_.world = x;
                    break;
                default:
                    break;
            }
            Update();
            break;
        }
        case 33:
            if (SaveDC(dc_)) pageStack_.push_back(page_);
            break;
        case 34: {
            const int32_t level = r.I32(8);
            const int depth = static_cast<int>(pageStack_.size());
            if (level >= 0 || -level > depth) break;
            if (!RestoreDC(dc_, level)) break;
            page_ = pageStack_[static_cast<size_t>(depth + level)];
            pageStack_.resize(static_cast<size_t>(depth + level));
            Update();
            break;
        }
        case 25:
            SetBkColor(dc_, r.U32(8));
            break;
        case 18:
            SetBkMode(dc_, static_cast<int>(r.U32(8)));
            break;
        case 24:
            SetTextColor(dc_, r.U32(8));
            break;
        case 20:
            SetROP2(dc_, static_cast<int>(r.U32(8)));
            break;
        case 19:
            SetPolyFillMode(dc_, static_cast<int>(r.U32(8)));
            break;
        case 21:
            SetStretchBltMode(dc_, static_cast<int>(r.U32(8)));
            break;
        case 22:
            SetTextAlign(dc_, r.U32(8));
            break;
        default:
            break;
    }
}

}  // namespace platform::emf
