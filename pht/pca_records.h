// Records of the camera products. One data_pcae or data_pcap record holds
// one filter of a PCAE or PCAP product, one data_pcas record one raster
// position of one filter of a PCAS product. Per-pixel fields have 9
// elements, pixel n in element n-1 (the C200 detector uses elements 0-3).
// A trailing u marks the uncertainty of the field before it. Records start
// zero-filled, so a field that is never loaded lists as 0.
#pragma once

#include <cstdint>

enum class CameraProduct { pcae, pcap, pcas };

// Detector of the filter being listed; none when its FILTER card names
// neither array (or there is no such card).
enum class Detector { none, c100, c200 };

inline constexpr int kPixels = 9;

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
    int32_t ncyc[kPixels] = {};  // no column feeds it
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
