// Model files: layout of the loaded block and the checks against malformed files.
#include <gtest/gtest.h>

#include <cstring>

#include "model.h"
#include "render3d_datafile.h"

using render3d_test::Bytes;

namespace {

void putf(Bytes& b, float f)
{
    uint32_t u;
    std::memcpy(&u, &f, 4);
    for (int i = 0; i < 4; i++)
        b.push_back((uint8_t)(u >> (8 * i)));
}

void put32(Bytes& b, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        b.push_back((uint8_t)(v >> (8 * i)));
}

// Vertex i: position (i, 2i, 3i), u = i / 8, v = 1 - i / 8.
Bytes qx3(uint32_t flags, int nv, int nt, const std::vector<int32_t>& wire, bool withExtra)
{
    Bytes b;
    put32(b, flags);
    b.push_back((uint8_t)nv);
    b.push_back((uint8_t)(nv >> 8));
    b.push_back((uint8_t)nt);
    b.push_back((uint8_t)(nt >> 8));
    b.push_back((uint8_t)wire.size());
    b.push_back((uint8_t)(wire.size() >> 8));
    for (int i = 0; i < nv; i++) {
        for (float f : {(float)i, 2.0f * i, 3.0f * i, 99.0f, 0.0f, 0.0f, -1.0f, 99.0f, i / 8.0f, 1 - i / 8.0f, 5.0f, 6.0f})
            putf(b, f);
    }
    for (int32_t w : wire)
        put32(b, (uint32_t)w);
    if (withExtra)
        for (int i = 0; i < nv; i++)
            put32(b, 0xA0000000u + (uint32_t)i);
    return b;
}

struct ModelLoad : ::testing::Test {
    void TearDown() override { file_unmountData(); }
};

TEST_F(ModelLoad, PlainFileHasNoWireOrExtraBlock)
{
    Bytes f = qx3(0, 6, 2, {}, false);
    ASSERT_EQ(f.size(), 10u + 48u * 6u);
    ASSERT_TRUE(render3d_test::mount({{"srcdata/m.qx3", f}}));
    Model m;
    ASSERT_EQ(model_load("srcdata/m.qx3", &m), 1);
    EXPECT_EQ(m.numVerts, 6);
    EXPECT_EQ(m.numTris, 2);
    EXPECT_EQ(m.wireIndices, nullptr);
    EXPECT_EQ(m.vertexExtra, nullptr);
    EXPECT_EQ((void*)m.proj, (void*)(m.verts + 6));
    EXPECT_EQ(m.verts[5].pos.z, 15.0f);
    EXPECT_EQ(m.verts[5].normal.z, -1.0f);
    for (int i = 0; i < 6; i++) {
        EXPECT_EQ(m.proj[i].u, i / 8.0f);
        EXPECT_EQ(m.proj[i].v, 1 - i / 8.0f);
    }
    model_destroy(&m);
    EXPECT_EQ(m.verts, nullptr);
    EXPECT_EQ(m.proj, nullptr);
    EXPECT_EQ(m.numVerts, 6);  // the counts stay
}

TEST_F(ModelLoad, WireIndicesAndExtraFollowTheProjections)
{
    ASSERT_TRUE(render3d_test::mount({{"x.qx3", qx3(1, 3, 1, {}, true)}, {"w.qx3", qx3(1, 4, 1, {0, 1, 2, 3}, true)}}));
    Model m;
    ASSERT_EQ(model_load("x.qx3", &m), 1);
    EXPECT_EQ(m.wireIndices, nullptr);
    EXPECT_EQ((void*)m.vertexExtra, (void*)(m.proj + 3));
    EXPECT_EQ(m.vertexExtra[2], 0xA0000002u);
    model_destroy(&m);

    ASSERT_EQ(model_load("w.qx3", &m), 1);
    EXPECT_EQ((void*)m.wireIndices, (void*)(m.proj + 4));
    EXPECT_EQ(m.wireIndices[3], 3);
    EXPECT_EQ((void*)m.vertexExtra, (void*)(m.wireIndices + 4));
    EXPECT_EQ(m.vertexExtra[3], 0xA0000003u);
    EXPECT_EQ(m.numShared, 4);  // loading groups equal vertices (none here) and lists the edges
    EXPECT_EQ(m.numWireEdges, 4);
    model_destroy(&m);
}

TEST_F(ModelLoad, MalformedFilesAreRefused)
{
    Bytes shortVerts = qx3(0, 3, 1, {}, false);
    shortVerts.pop_back();
    Bytes noExtra = qx3(1, 3, 1, {}, false);
    ASSERT_TRUE(render3d_test::mount({{"short.qx3", shortVerts},
                                      {"noextra.qx3", noExtra},
                                      {"tris.qx3", qx3(0, 5, 2, {}, false)},
                                      {"wire.qx3", qx3(0, 3, 1, {0, 1, 2, 3}, false)},
                                      {"neg.qx3", qx3(0, 3, 1, {0, -1, 2, 1}, false)},
                                      {"hdr.qx3", Bytes(9, 0)}}));
    for (const char* name : {"short.qx3", "noextra.qx3", "tris.qx3", "wire.qx3", "neg.qx3", "hdr.qx3", "gone.qx3"}) {
        Model m;
        char err[256] = "";
        EXPECT_EQ(model_tryLoad(name, &m, err, sizeof(err)), 0) << name;
        EXPECT_EQ(std::string(err).rfind(name, 0), 0u) << err;
        EXPECT_EQ(m.verts, nullptr);
        EXPECT_EQ(m.numVerts, 0);
    }
    Model m;
    EXPECT_EXIT(model_load("tris.qx3", &m), ::testing::ExitedWithCode(1), "");
}

}  // namespace
