// The spectrometer (PHT-S) measurement record shared by the PLA/PSA listing
// and the image output: one table row, 64 detector pixels per array.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

inline constexpr int kPlsPixels = 64;
inline constexpr int kPlsPlanes = 10;

struct data_pls {
    int dflag = 0;  // 1 for a dark measurement
    int nbck = 0;
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

// Writes one FITS image per measurement, named from base. Returns 0, or 1
// after a message when an image file cannot be created.
int write_pls_images(const std::string &base, const std::vector<data_pls> &records);

// File name of the image of measurement k (from 0): the base name, the
// letters A..Z, AA, AB, ... and ".FITS".
std::string pls_image_name(const std::string &base, std::size_t k);
