#include <gtest/gtest.h>

#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "algebra/multivector.hpp"

namespace {

using Fault = zyl::GeometricProductFault;
using Signature = std::vector<std::int8_t>;
using Vec = std::vector<double>;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::uint64_t bits(double v) { return std::bit_cast<std::uint64_t>(v); }

Vec product(const Vec& a, const Vec& b, const Signature& sig) {
    Vec r;
    const auto status = zyl::geometric_product(a, b, sig, r);
    EXPECT_TRUE(status.ok()) << zyl::describe(status);
    return r;
}

void expect_same_bits(const Vec& got, const Vec& want) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t k = 0; k < got.size(); ++k)
        EXPECT_EQ(bits(got[k]), bits(want[k])) << "blade " << k << ": " << got[k] << " vs " << want[k];
}

TEST(GeometricProduct, TwoVectorsUnderEachMetric) {
    struct Case {
        Signature sig;
        Vec a, b, r;
    };
    const Vec e0 = {0, 1, 0, 0}, e1 = {0, 0, 1, 0}, e01 = {0, 0, 0, 1};
    const Case cases[] = {
        {{1, 1}, e0, e1, {0, 0, 0, 1}},
        {{1, 1}, e1, e0, {0, 0, 0, -1}},
        {{1, 1}, e01, e01, {-1, 0, 0, 0}},
        {{1, 1}, e0, e0, {1, 0, 0, 0}},
        {{-1, -1}, e0, e0, {-1, 0, 0, 0}},
        {{-1, -1}, e1, e1, {-1, 0, 0, 0}},
        {{-1, -1}, e01, e01, {-1, 0, 0, 0}},
        {{1, -1}, e0, e0, {1, 0, 0, 0}},
        {{1, -1}, e1, e1, {-1, 0, 0, 0}},
        {{1, -1}, e01, e01, {1, 0, 0, 0}},
        {{1, -1}, e0, e01, {0, 0, 1, 0}},
        {{1, -1}, e01, e1, {0, -1, 0, 0}},
    };
    for (const auto& t : cases) expect_same_bits(product(t.a, t.b, t.sig), t.r);
}

TEST(GeometricProduct, NullVectorSquaresToZeroButStillFormsTheTerm) {
    expect_same_bits(product({0, 1}, {0, 1}, {0}), {0, 0});
    const Vec r = product({0, kInf}, {0, 1}, {0});
    EXPECT_TRUE(std::isnan(r[0]));
    EXPECT_EQ(bits(r[1]), bits(0.0));
}

TEST(GeometricProduct, EuclideanVectorsGiveDotPlusWedge) {
    const Signature euclid = {1, 1, 1};
    std::mt19937_64 rng(11);
    std::uniform_int_distribution<int> coef(-9, 9);
    for (int n = 0; n < 200; ++n) {
        double u[3], v[3];
        for (auto* w : {u, v})
            for (int p = 0; p < 3; ++p) w[p] = coef(rng);
        const Vec a = {0, u[0], u[1], 0, u[2], 0, 0, 0}, b = {0, v[0], v[1], 0, v[2], 0, 0, 0};
        const double dot = u[0] * v[0] + u[1] * v[1] + u[2] * v[2];
        // + 0.0: the product's accumulators start at +0.0, so an empty sum is +0.0.
        expect_same_bits(product(a, b, euclid),
                         {dot + 0.0, 0, 0, u[0] * v[1] - u[1] * v[0] + 0.0, 0,
                          u[0] * v[2] - u[2] * v[0] + 0.0, u[1] * v[2] - u[2] * v[1] + 0.0, 0});
    }
}

// Associativity holds for any diagonal metric, null and non-unit squares
// included, and small integer coefficients keep every sum exact, so any slip
// in the reordering sign or the metric factor shows up as a mismatch.
TEST(GeometricProduct, AssociativeUnderMixedMetrics) {
    std::mt19937_64 rng(3);
    std::uniform_int_distribution<int> coef(-3, 3);
    for (const Signature& sig : {Signature{1, 1, 1}, Signature{1, -1, -1, 1}, Signature{2, -3, 0, 1}}) {
        const std::size_t len = std::size_t{1} << sig.size();
        for (int n = 0; n < 50; ++n) {
            Vec a(len), b(len), c(len);
            for (auto* m : {&a, &b, &c})
                for (auto& v : *m) v = coef(rng);
            const Vec left = product(product(a, b, sig), c, sig);
            const Vec right = product(a, product(b, c, sig), sig);
            for (std::size_t k = 0; k < len; ++k) EXPECT_EQ(left[k], right[k]) << "blade " << k;
        }
    }
}

TEST(GeometricProduct, ZeroCoefficientsFormNoTermAndNaNSpreads) {
    expect_same_bits(product({2, 0, 0, 0}, {kInf, kInf, kInf, kInf}, {1, 1}), {kInf, kInf, kInf, kInf});
    expect_same_bits(product({0, -0.0, 0, 0}, {kInf, kInf, kInf, kInf}, {1, 1}), {0, 0, 0, 0});
    const Vec r = product({kNaN, 0, 0, 0}, {1, 0, 2, 0}, {1, 1});
    EXPECT_TRUE(std::isnan(r[0]));
    EXPECT_TRUE(std::isnan(r[2]));
    EXPECT_EQ(bits(r[1]), bits(0.0));
    EXPECT_EQ(bits(r[3]), bits(0.0));
}

TEST(GeometricProduct, ExactBitsInTheStatedOrder) {
    // Several blades receive terms whose sum depends on the order of addition.
    expect_same_bits(product({1e16, 3.0, -1.0, 0.1, 2.5, 0.0, 1e-3, 7.0},
                             {1.0, 1e16, 0.3, -2.0, 0.7, 1.0, 0.0, -0.5}, {3, -5, 7}),
                     {0x1.6345785d89feap+56, 0x1.3b8b5b5056e17p+106, 0x1.fe0504816f006p+6,
                      -0x1.1c37937e07ff3p+53, 0x1.8de76816d7f38p+52, -0x1.aa535d3d0bff9p+53,
                      0x1.7508f1956a800p+57, -0x1.1ba60e96ddffdp+52});
    // The square of the full blade of nine vectors: the metric product is no
    // longer an exact integer.
    Vec full(512, 0.0);
    full[511] = 1.0;
    const Vec r = product(full, full, {127, -125, 123, 121, -119, 117, 113, -111, 109});
    EXPECT_EQ(bits(r[0]), bits(-0x1.f350cf3bf4ba0p+61));
}

TEST(GeometricProduct, ExtraEntriesOfBAndUnusedSignatureAreIgnored) {
    expect_same_bits(product({0, 1}, {0, 2, 99, 99}, {1, 1, 1}), {2, 0});
    // e1 * e0 shares no vector, so a signature of one entry is enough.
    expect_same_bits(product({0, 0, 1, 0}, {0, 1, 0, 0}, {5}), {0, 0, 0, -1});
    // A length that is not a power of two is fine while no formed term leaves it.
    expect_same_bits(product({1, 0, 0}, {1, 2, 3}, {}), {1, 2, 3});
}

struct FaultCase {
    Vec a, b;
    Signature sig;
    Fault fault;
    std::size_t index, limit;
    const char* message;
};

TEST(GeometricProduct, PreconditionBreaksAreFoundAtTheFirstFormedTerm) {
    const FaultCase cases[] = {
        {{0, 1, 0, 0}, {0, 0}, {1, 1}, Fault::b_too_short, 2, 4, "b has 2 coefficients but a has 4"},
        {{0, 3}, {0}, {1}, Fault::b_too_short, 1, 2, "b has 1 coefficient but a has 2"},
        {{7}, {}, {}, Fault::b_too_short, 0, 1, "b has 0 coefficients but a has 1"},
        {{0, 0, 1, 0, 0}, {0, 0, 0, 0, 1}, {1, 1, 1}, Fault::blade_out_of_range, 6, 5, ""},
        {{0, 1, 0, 0, 0}, {0, 0, 0, 0, 1}, {1, 1, 1}, Fault::blade_out_of_range, 5, 5,
         "blade index 5 is outside a multivector of 5 coefficients (the length must be a power of two)"},
        {{0, 0, 0, 0, 1, 0, 0, 0}, {0, 0, 0, 0, 1, 0, 0, 0}, {1, 1}, Fault::signature_too_short, 2, 2,
         "basis vector e2 is shared but the signature has only 2 entries"},
        {{0, 0, 1, 0}, {0, 0, 1, 0}, {1}, Fault::signature_too_short, 1, 1,
         "basis vector e1 is shared but the signature has only 1 entry"},
        // The signature fault at (e2, e2) comes before the missing b entries.
        {{0, 0, 0, 0, 1, 0, 0, 0}, {0, 0, 0, 0, 1}, {1, 1}, Fault::signature_too_short, 2, 2, ""},
        // Row e0 reaches the missing b[3] before row e1 needs the square of e1.
        {{0, 1, 1, 0}, {0, 1, 1}, {1}, Fault::b_too_short, 3, 4, ""},
    };
    for (const auto& t : cases) {
        Vec r;
        const auto s = zyl::geometric_product(t.a, t.b, t.sig, r);
        EXPECT_EQ(s.fault, t.fault) << zyl::describe(s);
        EXPECT_EQ(s.index, t.index) << zyl::describe(s);
        EXPECT_EQ(s.limit, t.limit) << zyl::describe(s);
        if (*t.message) {
            EXPECT_EQ(zyl::describe(s), t.message);
        }
    }
}

TEST(GeometricProduct, AllZeroAMakesNoDemands) {
    expect_same_bits(product({0, 0, 0, 0}, {}, {}), {0, 0, 0, 0});
    expect_same_bits(product({0, -0.0, 0}, {kNaN}, {}), {0, 0, 0});
    expect_same_bits(product({}, {}, {}), {});
}

std::vector<Vec> random_batch(std::size_t n, std::size_t len, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> coef(-5.0, 5.0);
    std::vector<Vec> batch(n, Vec(len));
    for (auto& m : batch)
        for (auto& v : m) v = (rng() % 3 == 0) ? 0.0 : coef(rng);
    return batch;
}

TEST(GeometricProductBatch, ShorterLengthAndSameBitsAsOneAtATime) {
    const Signature sig = {1, -1, 1};
    const auto a = random_batch(3001, 8, 1), b = random_batch(2999, 8, 2);
    std::vector<Vec> out(5, Vec{1.0});
    ASSERT_FALSE(zyl::geometric_product_batch(a, b, sig, out).has_value());
    ASSERT_EQ(out.size(), b.size());
    for (std::size_t k = 0; k < out.size(); ++k) expect_same_bits(out[k], product(a[k], b[k], sig));

    ASSERT_FALSE(zyl::geometric_product_batch({}, b, sig, out).has_value());
    EXPECT_TRUE(out.empty());
}

TEST(GeometricProductBatch, PairsMayHaveTheirOwnLength) {
    const std::vector<Vec> a = {{0, 1}, {0, 0, 1, 0}, {3}};
    const std::vector<Vec> b = {{0, 1}, {0, 1, 0, 0}, {2, 50}};
    std::vector<Vec> out;
    ASSERT_FALSE(zyl::geometric_product_batch(a, b, Signature{-1, 1}, out).has_value());
    ASSERT_EQ(out.size(), 3u);
    expect_same_bits(out[0], {-1, 0});
    expect_same_bits(out[1], {0, 0, 0, -1});
    expect_same_bits(out[2], {6});
}

TEST(GeometricProductBatch, ReportsTheLowestFaultyPairAndNoOutput) {
    auto a = random_batch(4000, 4, 5);
    auto b = random_batch(4000, 4, 6);
    b[3999].resize(3);
    a[2500] = {0, 0, 1};
    b[1234] = {0, 1};
    a[1234][1] = 1.0;
    a[777] = Vec(4, 0.0);  // all zero: b and the signature are never consulted
    b[777].clear();
    std::vector<Vec> out;
    const auto err = zyl::geometric_product_batch(a, b, Signature{1, 1}, out);
    ASSERT_TRUE(err.has_value());
    EXPECT_EQ(err->pair, 1234u);
    EXPECT_EQ(err->status.fault, Fault::b_too_short);
    EXPECT_EQ(err->message, "pair 1234: b has 2 coefficients but a has 4");
    EXPECT_TRUE(out.empty());

    b[0] = {};
    const auto first = zyl::geometric_product_batch(a, b, Signature{1, 1}, out);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->message, "pair 0: b has 0 coefficients but a has 4");

    b[0] = a[0];
    const auto sig_err = zyl::geometric_product_batch(a, b, Signature{1}, out);
    ASSERT_TRUE(sig_err.has_value());
    EXPECT_LT(sig_err->pair, 1234u);
    EXPECT_EQ(sig_err->status.fault, Fault::signature_too_short);
    EXPECT_EQ(sig_err->message.rfind("pair " + std::to_string(sig_err->pair) + ": basis vector e1", 0), 0u);
}

TEST(GeometricProductBatch, ACancelledBatchStopsInsideALongProductAndReturnsNothing) {
    // One pair of 2^11 coefficients: some 4 million terms; the first poll
    // (2 ms in) cancels, and the product stops row by row.
    const std::size_t len = std::size_t{1} << 11;
    std::vector<Vec> a{Vec(len, 0.5)}, b{Vec(len, 0.25)};
    std::vector<Vec> out;
    const zyl::MapControl stop{[](void*) { return true; }, nullptr, 4.0 * double(len) * double(len)};
    const auto t0 = std::chrono::steady_clock::now();
    const auto err = zyl::geometric_product_batch(a, b, Signature(11, 1), out, stop);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(150));
    ASSERT_TRUE(err.has_value());
    EXPECT_EQ(err->status.fault, Fault::cancelled);
    EXPECT_TRUE(out.empty());
    // Uncancelled, the same batch is complete.
    EXPECT_FALSE(zyl::geometric_product_batch(a, b, Signature(11, 1), out).has_value());
    EXPECT_EQ(out.size(), 1u);
}

}  // namespace
