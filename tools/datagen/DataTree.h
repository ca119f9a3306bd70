// The output folder of one generation run, and the registry of the generators that fill it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace datagen {

// Files are written below a root folder; paths use '/' and are relative to ".\data\".
class CDataTree {
public:
    explicit CDataTree(std::string root) : m_Root(std::move(root)) {}
    const std::string& Root() const { return m_Root; }
    std::string PathOf(const std::string& relative) const { return m_Root + "/" + relative; }

    // Writes a whole file, creating its folders; throws std::runtime_error on any failure.
    void Write(const std::string& relative, const void* data, size_t size) const;
    void Write(const std::string& relative, const std::vector<uint8_t>& bytes) const
    {
        Write(relative, bytes.data(), bytes.size());
    }
    void WriteText(const std::string& relative, const std::string& text) const
    {
        Write(relative, text.data(), text.size());
    }

private:
    std::string m_Root;
};

// Each kind of data registers one or more generators; they run in parallel and must write
// distinct files. A generator throws std::runtime_error with a clear message on failure.
struct Generator {
    std::string Name;
    std::function<void(const CDataTree&)> Run;
};

std::vector<Generator>& Generators();

struct GeneratorRegistration {
    GeneratorRegistration(const char* name, std::function<void(const CDataTree&)> run)
    {
        Generators().push_back({name, std::move(run)});
    }
};

#define DATAGEN_CONCAT2(a, b) a##b
#define DATAGEN_CONCAT(a, b) DATAGEN_CONCAT2(a, b)
#define DATAGEN_REGISTER(name, function) \
    static const ::datagen::GeneratorRegistration DATAGEN_CONCAT(s_Generator, __LINE__)(name, function)

} // namespace datagen
