// CSpeedEngine: course and speed estimated from successive positions.
//
// Used when the receiver sends no VTG sentence. Positions are projected onto a flat local grid
// around the first fixed epoch (earth radius 6378000 m); the window holds the last three epochs,
// and the displacement between the mean of the window before and after the newest epoch, over the
// last time step, gives the velocity. In steady state that is one third of the way from epoch
// k-3 to epoch k, divided by t(k) - t(k-1).
//
// Course here is the mathematical angle counter-clockwise from east in [-pi, pi): north pi/2,
// west -pi, south -pi/2.
#pragma once

#include "tolvik/platform/Collections.h"
#include "tolvik/records/GPSData.h"

namespace tolvik {

class CSpeedEngine : public CPtrList {
public:
    static constexpr int kWindow = 3;
    static constexpr double kEarthRadius = 6378000.0;  // metres

    CSpeedEngine();
    ~CSpeedEngine() override;

    // Feeds the current epoch: writes its offsets from the origin and, once two epochs with
    // different times are known, its course, speed and m_bVelocityValid. False when course and
    // speed were not written (no fix, first epoch, or no time step).
    bool Update(CGPSData& data);
    // Adds a copy of the epoch to the window and updates the old and new means.
    void AddPosition(const CGPSData& data);
    // Forgets the origin and the window: the next fixed epoch starts over.
    void Reset();
    void DeleteAll();

    static double Distance(double x1, double y1, double x2, double y2);
    static double Direction(double dNorth, double dEast);

    double m_dLonScale = 0.0;  // metres per radian of longitude at the origin; 0: no origin yet
    double m_dOriginLat = 0.0;
    double m_dOriginLon = 0.0;
    double m_dNewTime = 0.0;
    double m_dNewNorth = 0.0;
    double m_dNewEast = 0.0;
    double m_dOldTime = 0.0;
    double m_dOldNorth = 0.0;
    double m_dOldEast = 0.0;
};

}  // namespace tolvik
