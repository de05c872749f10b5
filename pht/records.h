// Records of the ISO PHT AAR products: one record per table row, plain
// 32-bit integers and single-precision floats filled from the row's columns
// (the column tables of row_loader.cpp say which column feeds which field).
// Records start zero-filled, so a field whose column is missing reads 0.
// A trailing u marks the uncertainty of the field before it.
#pragma once

#include <array>
#include <cstdint>

// ---------------------------------------------------------------- camera
//
// One data_pcae or data_pcap record holds one filter of a PCAE or PCAP
// product, one data_pcas record one raster position of one filter of a PCAS
// product. Per-pixel fields have 9 elements, pixel n in element n-1 (the
// C200 detector uses elements 0-3).

// Detector of a camera filter; none when its FILTER card names neither
// array (or there is no such card).
enum class Detector { none, c100, c200 };

inline constexpr int kPixels = 9;

// J2000 position of a camera pixel, degrees.
struct SkyPosition {
    double ra;
    double dec;
};

struct data_pcae {
    int32_t filt = 0;
    int32_t nbck = 0;
    int32_t npix = 0;
    float srce[kPixels] = {};
    float srcu[kPixels] = {};
    float spb[kPixels] = {};   // ON+OFF
    float spbu[kPixels] = {};
    float b1[kPixels] = {};    // OFF #1
    float b1u[kPixels] = {};
    float b2[kPixels] = {};    // OFF #2
    float b2u[kPixels] = {};
    float back = 0, bcku = 0;
    float bck1 = 0, bk1u = 0;
    float bck2 = 0, bk2u = 0;
};

struct data_pcap {
    int32_t filt = 0;
    int32_t nbck = 0;
    int32_t npix = 0;
    float srce[kPixels] = {};
    float srcu[kPixels] = {};
    float spb[kPixels] = {};
    float spbu[kPixels] = {};
    float b1[kPixels] = {};
    float b1u[kPixels] = {};
    float b2[kPixels] = {};
    float b2u[kPixels] = {};
    float peak = 0, pku = 0;
    float bcks = 0, bksu = 0;
    float bck1 = 0, bk1u = 0;
    float bck2 = 0, bk2u = 0;
    float bins = 0, bisu = 0;
    float bin1 = 0, bi1u = 0;
    float bin2 = 0, bi2u = 0;
    float off[2] = {};
    float offu[2] = {};
    float fitu = 0;
    int32_t stat = 0;
    int32_t ncyc[kPixels] = {};
};

struct data_pcas {
    int32_t filt = 0;
    float ra = 0, rau = 0;     // degrees
    float dec = 0, decu = 0;   // degrees
    float roll = 0, rolu = 0;  // degrees
    float avgb = 0;
    int32_t npix = 0;
    float brgt[kPixels] = {};  // surface brightness, MJy/ster
    float brgu[kPixels] = {};
    int32_t stat[kPixels] = {};
    int32_t fill[3] = {};
};

// ------------------------------------------------------------ photometer
//
// One filter/aperture configuration of a PPAE or PPAP product. The fields
// follow the table's columns from the third on (TTYPE3 is nbck, TTYPE4 srce,
// ...); PPAE products have no bint/binu columns.
struct data_ppa {
    int32_t nbck = 0;
    float srce = 0, srcu = 0;
    float back = 0, bcku = 0;
    float spb = 0, spbu = 0;
    float bck1 = 0, bk1u = 0;
    float bck2 = 0, bk2u = 0;
    float bint = 0, binu = 0;
};

// ---------------------------------------------------------- spectrometer
//
// One measurement of a PLA or PSA product: 64 detector pixels per array.
inline constexpr int kPlsPixels = 64;
inline constexpr int kPlsPlanes = 10;

struct data_pls {
    int32_t dflag = 0;  // 1 for a dark measurement
    int32_t nbck = 0;
    float srce[kPlsPixels] = {};  // on-source signal
    float srcu[kPlsPixels] = {};
    float bck[kPlsPixels] = {};   // mean of the OFF positions
    float bcku[kPlsPixels] = {};
    float spb[kPlsPixels] = {};
    float spbu[kPlsPixels] = {};
    float bck1[kPlsPixels] = {};  // OFF position 1
    float bk1u[kPlsPixels] = {};
    float bck2[kPlsPixels] = {};  // OFF position 2
    float bk2u[kPlsPixels] = {};
};

using PlsArray = float (data_pls::*)[kPlsPixels];

// The ten arrays in the order of the product's columns 3 to 12, which is
// also the order of the planes of a measurement image.
inline constexpr std::array<PlsArray, kPlsPlanes> kPlsPlaneOrder = {
    &data_pls::srce, &data_pls::srcu, &data_pls::bck,  &data_pls::bcku, &data_pls::spb,
    &data_pls::spbu, &data_pls::bck1, &data_pls::bk1u, &data_pls::bck2, &data_pls::bk2u,
};
