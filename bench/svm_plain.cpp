// The plain way to apply an SVM model, as a benchmark peer and agreement
// reference: every pixel of the image, one at a time, through libsvm's own
// svm_predict, on one thread. Usage: tessera-svm-plain MODEL IMAGE OUT.tif
#include "base/commonfun.h"
#include "processing/svmmodel.h"

#include <gdal_priv.h>

#include <cstdio>
#include <memory>
#include <vector>

using namespace tessera;

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s MODEL IMAGE OUT.tif\n", argv[0]);
        return 2;
    }
    std::wstring error;
    const auto model = SvmModel::Load(CommonFun::M2U(argv[1]), error);
    if (!model) {
        std::fprintf(stderr, "%s\n", CommonFun::U2M(error).c_str());
        return 1;
    }
    GDALAllRegister();
    std::unique_ptr<GDALDataset> in(GDALDataset::Open(argv[2], GDAL_OF_RASTER | GDAL_OF_READONLY));
    if (!in || in->GetRasterCount() != model->Bands()) {
        std::fprintf(stderr, "cannot open %s with %d bands\n", argv[2], model->Bands());
        return 1;
    }
    const int w = in->GetRasterXSize(), h = in->GetRasterYSize(), bands = model->Bands();
    const char* options[] = {"TILED=YES", "COMPRESS=DEFLATE", nullptr};
    std::unique_ptr<GDALDataset> out(GetGDALDriverManager()->GetDriverByName("GTiff")->Create(
        argv[3], w, h, 1, GDT_Byte, const_cast<char**>(options)));
    double transform[6];
    if (in->GetGeoTransform(transform) == CE_None)
        out->SetGeoTransform(transform);
    out->SetSpatialRef(in->GetSpatialRef());
    std::vector<float> row(static_cast<size_t>(w) * bands);
    std::vector<std::uint8_t> labels(w);
    for (int y = 0; y < h; ++y) {
        // Pixel-interleaved row: band b of pixel x at x * bands + b.
        if (in->RasterIO(GF_Read, 0, y, w, 1, row.data(), w, 1, GDT_Float32, bands, nullptr,
                         static_cast<GSpacing>(bands) * sizeof(float),
                         static_cast<GSpacing>(w) * bands * sizeof(float), sizeof(float), nullptr) != CE_None)
            return 1;
        for (int x = 0; x < w; ++x)
            labels[x] = static_cast<std::uint8_t>(
                model->PredictWithLibsvm(row.data() + static_cast<size_t>(x) * bands));
        if (out->GetRasterBand(1)->RasterIO(GF_Write, 0, y, w, 1, labels.data(), w, 1, GDT_Byte, 0, 0,
                                            nullptr) != CE_None)
            return 1;
    }
    return 0;
}
