#include "standard/mdct.h"

#include <cmath>
#include <cstdint>
#include <numbers>

namespace wmsdk::standard {
namespace {

constexpr int kMinLength = 128;
constexpr int kMaxLength = 2048;

}  // namespace

Mdct::Mdct() {
    for (int index = 0; index < 5; ++index) {
        Plan& plan = plans_[index];
        const int n = kMaxLength >> index;
        const int half = n / 2;
        plan.length = n;
        const double pi = std::numbers::pi;
        for (int i = 0; i < half; ++i) {
            // Pre-rotation by (4i + 1) pi / 4N; the post-rotation by i pi / N
            // is the same table read at other angles, so both are stored.
            plan.twiddleCos.push_back(static_cast<float>(std::cos(pi * (4 * i + 1) / (4.0 * n))));
            plan.twiddleSin.push_back(static_cast<float>(std::sin(pi * (4 * i + 1) / (4.0 * n))));
        }
        for (int i = 0; i < half; ++i) {
            plan.twiddleCos.push_back(static_cast<float>(std::cos(pi * i / n)));
            plan.twiddleSin.push_back(static_cast<float>(std::sin(pi * i / n)));
        }
        for (int i = 0; i < half / 2; ++i) {
            plan.fftCos.push_back(static_cast<float>(std::cos(2 * pi * i / half)));
            plan.fftSin.push_back(static_cast<float>(-std::sin(2 * pi * i / half)));
        }
        int bits = 0;
        while ((1 << bits) < half) ++bits;
        for (int i = 0; i < half; ++i) {
            int r = 0;
            for (int b = 0; b < bits; ++b) r |= ((i >> b) & 1) << (bits - 1 - b);
            plan.bitReverse.push_back(static_cast<uint16_t>(r));
        }
        for (int i = 0; i < n; ++i) plan.rise.push_back(static_cast<float>(std::sin((i + 0.5) * pi / (2.0 * n))));
    }
    window_.resize(2 * kMaxLength);
    folded_.resize(kMaxLength);
    re_.resize(kMaxLength / 2);
    im_.resize(kMaxLength / 2);
}

int Mdct::SizeIndex(int length) {
    int index = 0;
    while ((kMaxLength >> index) > length && index < 4) ++index;
    return index;
}

void Mdct::Window(int length, int previous, int next, float* window) const {
    const float* rise = plans_[SizeIndex(length)].rise.data();
    if (previous >= length) {
        for (int i = 0; i < length; ++i) window[i] = rise[i];
    } else {
        const float* slope = plans_[SizeIndex(previous)].rise.data();
        const int flat = (length - previous) / 2;
        for (int i = 0; i < length; ++i) window[i] = i < flat ? 0.0f : i < flat + previous ? slope[i - flat] : 1.0f;
    }
    float* right = window + length;
    if (next >= length) {
        for (int i = 0; i < length; ++i) right[i] = rise[length - 1 - i];
    } else {
        const float* slope = plans_[SizeIndex(next)].rise.data();
        const int flat = (length - next) / 2;
        for (int i = 0; i < length; ++i)
            right[i] = i < flat ? 1.0f : i < flat + next ? slope[next - 1 - (i - flat)] : 0.0f;
    }
}

void Mdct::Fft(const Plan& plan) {
    const int n = plan.length / 2;
    for (int i = 0; i < n; ++i) {
        const int j = plan.bitReverse[i];
        if (j > i) {
            std::swap(re_[i], re_[j]);
            std::swap(im_[i], im_[j]);
        }
    }
    float* re = re_.data();
    float* im = im_.data();
    for (int span = 1; span < n; span *= 2) {
        const int step = n / (2 * span);
        for (int start = 0; start < n; start += 2 * span) {
            for (int k = 0; k < span; ++k) {
                const float wr = plan.fftCos[k * step], wi = plan.fftSin[k * step];
                const int a = start + k, b = a + span;
                const float tr = re[b] * wr - im[b] * wi;
                const float ti = re[b] * wi + im[b] * wr;
                re[b] = re[a] - tr;
                im[b] = im[a] - ti;
                re[a] += tr;
                im[a] += ti;
            }
        }
    }
}

void Mdct::Transform(int length, int previous, int next, const float* samples, float* coefficients) {
    if (length < kMinLength || length > kMaxLength) return;
    const Plan& plan = plans_[SizeIndex(length)];
    const int n = length, half = n / 2;
    float* w = window_.data();
    Window(n, previous, next, w);
    // Fold the 2N windowed samples into the N inputs of a DCT-IV.
    float* v = folded_.data();
    for (int i = 0; i < half; ++i) {
        v[i] = -samples[3 * half - 1 - i] * w[3 * half - 1 - i] - samples[3 * half + i] * w[3 * half + i];
        v[half + i] = samples[i] * w[i] - samples[n - 1 - i] * w[n - 1 - i];
    }
    for (int i = 0; i < half; ++i) {
        const float a = v[2 * i], b = v[n - 1 - 2 * i];
        const float c = plan.twiddleCos[i], s = plan.twiddleSin[i];
        re_[i] = a * c + b * s;
        im_[i] = b * c - a * s;
    }
    Fft(plan);
    for (int k = 0; k < half; ++k) {
        const float c = plan.twiddleCos[half + k], s = plan.twiddleSin[half + k];
        coefficients[2 * k] = -(re_[k] * c + im_[k] * s);
        coefficients[n - 1 - 2 * k] = im_[k] * c - re_[k] * s;
    }
}

}  // namespace wmsdk::standard
