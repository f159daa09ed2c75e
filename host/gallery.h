#pragma once
// The gallery: every library window the host offers (and, given a scene,
// the host itself with shapes drawn over it) opened offscreen and saved as a
// PNG named after the window's class, so the look can be reviewed without a
// display.

#include <QSize>
#include <QString>

#include <string>
#include <vector>

struct GalleryShot {
    std::string name; // file name without ".png"
    QString path;
    QString title; // the window's title
    QSize size;    // the window's size, which is the image's size
};

struct GalleryResult {
    std::vector<GalleryShot> shots;
    QString cjkFont; // the CJK font family found, empty when none
    QString error;   // why the gallery stopped early, empty on success
    bool ok() const { return error.isEmpty(); }
};

// A font family that covers Chinese (Noto Sans CJK preferred), or empty.
QString FindCjkFont();

// Writes the gallery into dir (created when missing). scene, when not empty,
// is a raster the host window shows for host.png. Also writes index.md, the
// list of images with the windows' titles.
GalleryResult WriteGallery(const QString& dir, const QString& scene);
