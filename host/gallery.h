#pragma once
// The gallery: every library window the host offers, and the host itself,
// opened offscreen as a user would have them mid-task (files chosen, lists
// and tables filled from the demo data, check points added) and saved as a
// PNG named after the window's class, so the look can be reviewed without a
// display. The texts are in the current language (platform/translation.h).

#include <QSize>
#include <QString>

#include <functional>
#include <string>
#include <vector>

class QWidget;

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

// The files the windows are shown with. Any may be empty: the windows that
// need it are then shown without it.
struct GalleryData {
    QString scene;      // a raster: the host's map and the classification windows' input
    QString samples;    // a sample file (.cif) of the scene
    QString classified; // a classified image with its assistant file (.acf)
    // The files `tessera demo DIR` writes.
    static GalleryData FromDemo(const QString& dir);
};

// Called with each window once it is filled, before it is shot and closed.
using GalleryInspector = std::function<void(const std::string& name, QWidget& window)>;

// A font family that covers Chinese (Noto Sans CJK preferred), or empty.
QString FindCjkFont();

// Writes the gallery into dir (created when missing): host.png when there is
// a scene, then one image per window. Also writes index.md, the list of
// images with the windows' titles. The output files the windows are given
// are named beside the data; nothing is written there.
GalleryResult WriteGallery(const QString& dir, const GalleryData& data, const GalleryInspector& inspect = {});
