// What a .x file holds, read from its data objects through the standard templates: the frame
// tree with its meshes (positions, polygons, normals, texture coordinates, vertex colours,
// materials, skin weights) and the animation sets. Plain data, checked on the way in: every
// index is in range and every count matches the data that follows it, so that the users need
// no further checks. Internal to the platform layer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/d3dx9/XFileReader.h"

namespace xfile {

struct XMaterial {
    float diffuse[4] = {0, 0, 0, 0};  // r, g, b, a
    float power = 0;
    float specular[3] = {0, 0, 0};
    float emissive[3] = {0, 0, 0};
    std::string textureFilename;      // empty when the material names no texture
};

struct XSkinWeights {
    std::string boneName;
    std::vector<uint32_t> vertices;
    std::vector<float> weights;
    float offset[16] = {};
};

struct XMesh {
    std::string name;
    std::vector<float> positions;        // x, y, z per vertex
    std::vector<uint32_t> faceSizes;     // corners of each polygon (3 or more)
    std::vector<uint32_t> faceIndices;   // the corners' vertex indices, polygon after polygon
    std::vector<float> normals;          // x, y, z per normal (empty: the file gives none)
    std::vector<uint32_t> normalIndices; // per corner, parallel to faceIndices (empty: none)
    std::vector<float> texcoords;        // u, v per vertex (empty: none)
    std::vector<uint32_t> colors;        // ARGB per vertex (empty: none)
    std::vector<uint32_t> faceMaterials; // per polygon (empty: no material list)
    std::vector<XMaterial> materials;
    std::vector<XSkinWeights> skins;
    uint32_t maxWeightsPerVertex = 0;    // from XSkinMeshHeader, 0 when absent
    uint32_t maxWeightsPerFace = 0;

    uint32_t NumVertices() const { return static_cast<uint32_t>(positions.size() / 3); }
    uint32_t NumFaces() const { return static_cast<uint32_t>(faceSizes.size()); }
};

struct XFrame {
    std::string name;
    float matrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    std::vector<uint32_t> meshes;    // indices into XScene::meshes, in file order
    std::vector<uint32_t> children;  // indices into XScene::frames, in file order
};

template <int N>
struct XKey {
    uint32_t time;  // in ticks
    float value[N];
};

struct XAnimation {
    std::string frameName;
    std::vector<XKey<4>> rotations;  // w, x, y, z as stored in the file
    std::vector<XKey<3>> scales;
    std::vector<XKey<3>> positions;
    std::vector<XKey<16>> matrices;
    bool openClosedGiven = false;
    uint32_t openClosed = 0;
    uint32_t positionQuality = 0;
};

struct XAnimationSet {
    std::string name;
    std::vector<XAnimation> animations;
};

struct XScene {
    std::vector<XFrame> frames;    // frames[root] is the root of the hierarchy
    uint32_t root = 0;
    std::vector<XMesh> meshes;
    std::vector<XAnimationSet> animationSets;  // in file order
    uint32_t ticksPerSecond = 4800;            // the default when the file does not say
    bool hasGeometry = false;                  // some frame or mesh at the top level
};

// Builds the scene. The hierarchy: a file with exactly one top-level frame and no top-level
// mesh has that frame as its root; otherwise an unnamed identity frame holds every top-level
// frame as a child and every top-level mesh. Answers false with a message on any fault, and on
// a scene past XLimits (each mesh counted once for every frame that holds it).
bool BuildScene(const XFileDocument& doc, XScene& scene, std::string& error);

// Both steps from a file image.
bool LoadScene(const void* data, size_t size, XScene& scene, std::string& error);

} // namespace xfile
