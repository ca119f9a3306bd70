// Random streams of Direct3D device calls, drawn twice on one device (small draws gathered into
// one OpenGL draw, and draw by draw) so that the two results can be compared: every call's
// result, every read-back of the back buffer and the final picture.
//
// A stream is a seed and a list of calls. The seed makes the stream's resources (textures,
// vertex and index buffers, vertex declarations) and the values its calls choose from
// (matrices, materials, lights, vertices); each call holds small numbers that pick from them.
// The same generator turns a seeded random source or a fuzzer's bytes into calls. A stream whose
// two results differ is cut down to the fewest calls that still differ (delta debugging).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace qvtest {

enum class StreamOp : uint8_t {
    kRenderState,  // a: state (index into the generator's list), b: value index
    kStageState,   // a: stage, b: state index, c: value index
    kSamplerState, // a: sampler, b: state index, c: value index
    kTransform,    // a: transform index, b: matrix index
    kMaterial,     // b: material index
    kLight,        // a: light index, b: light description index
    kLightEnable,  // a: light index, b: on
    kTexture,      // a: stage, b: texture index (one past the last: none)
    kFvf,          // b: format index (one past the last: 0, two past: an FVF the device refuses)
    kDeclaration,  // b: declaration index (one past the last: none)
    kStreamSource, // a: stream, b: buffer index (one past the last: none), c: first vertex, d: stride choice
    kIndices,      // b: index buffer (one past the last: none)
    kDraw,         // a: primitive type, b: first vertex, c: primitive count
    kDrawIndexed,  // a: primitive type, b: base vertex (signed), c: first index, d: primitive count
    kDrawUser,     // a: primitive type, b: vertex set, c: primitive count
    kDrawIndexedUser, // a: primitive type, b: vertex set, c: primitive count, d: 32-bit indices
    kLockVertices, // a: buffer, b: first vertex, c: vertex count (0: to the end), d: content seed
    kLockIndices,  // a: buffer, b: first index, c: index count, d: content seed
    kLockTexture,  // a: texture, b: level, c: part (0 whole, 1 a rectangle), d: content seed
    kLockTwice,    // a: what (0 vertex buffer, 1 index buffer, 2 texture level), b: which
    kSetLod,       // a: texture, b: level of detail
    kClear,        // a: flags, b: colour index, c: depth and stencil choice, d: rectangles
    kViewport,     // b: viewport index
    kScissor,      // b: rectangle index
    kReadBack,     // the back buffer read through a lock
    kWriteBack,    // a few pixels of the back buffer written through a lock, d: content seed
    kSceneBreak,   // EndScene then BeginScene
    kPresent,
    kReset,        // the device lost and reset (every state back to its default), BeginScene
    kVertexProgram, // an effect's vertex program: a: 0 none, 1 in use (made on first use), 2 a uniform set
    kCount
};

struct StreamCall {
    StreamOp op = StreamOp::kRenderState;
    uint32_t a = 0, b = 0, c = 0, d = 0;
};

struct CallStream {
    uint32_t seed = 0;
    std::vector<StreamCall> calls;
};

// Where the generator's choices come from: a seeded random source, or a fuzzer's bytes.
class ChoiceSource {
public:
    virtual ~ChoiceSource() = default;
    // A number below `n` (n > 0); false once nothing is left to choose from.
    virtual bool Choose(uint32_t n, uint32_t& out) = 0;
};

// The stream of `calls` calls that the seed gives.
CallStream GenerateStream(uint32_t seed, size_t calls);
// The stream that a fuzzer's bytes give: the first four are the seed, the rest choose calls.
CallStream StreamFromBytes(const uint8_t* data, size_t size);

// What a stream left: each call's result, each read-back, and the final back buffer.
struct StreamResult {
    std::vector<HRESULT> results;
    std::vector<std::vector<uint8_t>> readBacks;
    std::vector<uint8_t> picture;
    uint64_t openGlDraws = 0; // what the device's draw calls became
};

// An effect's vertex program that streams use (made when a stream first wants it, then kept).
struct VertexProgram {
    unsigned name = 0;
    int tint = -1; // its uniform
};

// Runs streams on one device of its own (a window and a device, made once).
class StreamRunner {
public:
    static constexpr UINT kWidth = 80;
    static constexpr UINT kHeight = 60;

    StreamRunner();
    ~StreamRunner();
    StreamRunner(const StreamRunner&) = delete;
    StreamRunner& operator=(const StreamRunner&) = delete;
    bool Ready() const { return m_device != nullptr; }

    // The calls of `stream` whose numbers are in `keep` (all when null), with small draws
    // gathered or not. The device starts from its defaults and the stream's own resources.
    StreamResult Run(const CallStream& stream, const std::vector<size_t>* keep, bool batching);
    // Empty when the two ways give the same result; else what differs first. `draws` (when
    // given) receives the OpenGL draws of each way, gathered first.
    std::string Compare(const CallStream& stream, const std::vector<size_t>* keep, uint64_t* draws = nullptr);
    // The fewest calls of a stream whose two ways differ that still differ (their numbers).
    std::vector<size_t> Shrink(const CallStream& stream);

private:
    HWND m_window = nullptr;
    IDirect3D9* m_d3d = nullptr;
    IDirect3DDevice9* m_device = nullptr;
    D3DPRESENT_PARAMETERS m_params = {};
    VertexProgram m_program;
};

// The calls in `keep` as text, one a line, with the values they choose.
std::string DescribeStream(const CallStream& stream, const std::vector<size_t>& keep);

// Delta debugging: the smallest subset of `items` (kept in order) for which `fails` still holds,
// one item at a time removable no more.
std::vector<size_t> MinimiseFailing(std::vector<size_t> items,
                                    const std::function<bool(const std::vector<size_t>&)>& fails);

} // namespace qvtest
