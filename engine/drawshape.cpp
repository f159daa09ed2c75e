#include "engine/drawshape.h"

CDrawShape* CDrawShape::CreateCopy(const CDrawShape* shape) {
    return shape ? new CDrawShape(*shape) : nullptr;
}
