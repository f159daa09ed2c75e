#pragma once
// One check point of the accuracy assessment.

#include "engine/geometry.h"

#include <string>

struct AccuracyPoint {
    int id = 0;             // number within the generation run that made it, from 1
    std::wstring name;      // "#Pt<id>" when made; editable in the point table
    CPoint2D position;      // ground coordinates of the pixel centre
    int classValue = 0;     // class read from the classified image
    int referenceValue = 0; // reference class typed by the user; 0 until read
};
