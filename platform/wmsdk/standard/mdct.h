// The forward transform of WMA Standard's blocks: a block of N coefficients
// (N = 128 .. 2048) is the MDCT of 2N samples under the decoder's window,
//   X[k] = -sum_n w[n] x[n] cos(pi / N (n + 1/2 + N/2) (k + 1/2)),
// (the sign is the one the decoder's inverse transform undoes), computed as
// a DCT-IV through an N/2-point complex FFT.
#ifndef CADRIX_WMSDK_STANDARD_MDCT_H
#define CADRIX_WMSDK_STANDARD_MDCT_H

#include <array>
#include <cstdint>
#include <vector>

namespace wmsdk::standard {

class Mdct {
public:
    Mdct();

    // `samples`: 2N samples, not yet windowed; `previous` and `next`: the
    // lengths of the neighbouring blocks, which shape the window's slopes as
    // the decoder shapes them. Writes N coefficients.
    void Transform(int length, int previous, int next, const float* samples, float* coefficients);

    // The window of a block of `length` between blocks of `previous` and
    // `next` samples, 2 * length values.
    void Window(int length, int previous, int next, float* window) const;

private:
    struct Plan {
        int length = 0;                             // N
        std::vector<float> twiddleCos, twiddleSin;  // N/2 pre- and post-rotations
        std::vector<float> fftCos, fftSin;          // N/4 roots of unity of the FFT
        std::vector<uint16_t> bitReverse;           // N/2 indices
        std::vector<float> rise;                    // N samples of the sine window's rising half
    };
    static int SizeIndex(int length);
    void Fft(const Plan& plan);

    std::array<Plan, 5> plans_;
    std::vector<float> window_, folded_, re_, im_;
};

}  // namespace wmsdk::standard

#endif
