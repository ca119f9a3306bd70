// Reads an effect file and translates its vertex shaders to GLSL 1.20 while it parses: every
// expression is typed as it is read, so the translation can spell out what HLSL does
// implicitly (scalar splats, vector truncation, row-vector products).
#include "platform/d3dx9/EffectCompiler.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

namespace qv::d3dx9 {

const char kClipAdjustUniform[] = "qv_ClipAdjust";

namespace {

// ---------------------------------------------------------------------------------------------
// Tokens

enum class Tok { kIdent, kNumber, kPunct, kEnd };

struct Token {
    Tok kind = Tok::kEnd;
    std::string text;
    int line = 0;
};

struct CompileError {
    int line;
    std::string message;
};

[[noreturn]] void Fail(int line, const std::string& message) { throw CompileError{line, message}; }

std::vector<Token> Tokenize(const char* text, size_t size)
{
    std::vector<Token> tokens;
    int line = 1;
    size_t i = 0;
    auto at = [&](size_t k) { return k < size ? text[k] : '\0'; };
    while (i < size) {
        const char c = text[i];
        if (c == '\n') {
            ++line;
            ++i;
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
            ++i;
            continue;
        }
        if (c == '/' && at(i + 1) == '/') {
            while (i < size && text[i] != '\n')
                ++i;
            continue;
        }
        if (c == '/' && at(i + 1) == '*') {
            const int startLine = line;
            i += 2;
            while (i < size && !(text[i] == '*' && at(i + 1) == '/')) {
                if (text[i] == '\n')
                    ++line;
                ++i;
            }
            if (i >= size)
                Fail(startLine, "unterminated comment");
            i += 2;
            continue;
        }
        Token t;
        t.line = line;
        const unsigned char u = static_cast<unsigned char>(c);
        if (std::isalpha(u) || c == '_') {
            const size_t start = i;
            while (i < size && (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '_'))
                ++i;
            t.kind = Tok::kIdent;
            t.text.assign(text + start, i - start);
        } else if (std::isdigit(u) || (c == '.' && std::isdigit(static_cast<unsigned char>(at(i + 1))))) {
            const size_t start = i;
            if (c == '0' && (at(i + 1) == 'x' || at(i + 1) == 'X')) {
                i += 2;
                while (i < size && std::isxdigit(static_cast<unsigned char>(text[i])))
                    ++i;
            } else {
                while (i < size && std::isdigit(static_cast<unsigned char>(text[i])))
                    ++i;
                if (at(i) == '.') {
                    ++i;
                    while (i < size && std::isdigit(static_cast<unsigned char>(text[i])))
                        ++i;
                }
                if ((at(i) == 'e' || at(i) == 'E') &&
                    (std::isdigit(static_cast<unsigned char>(at(i + 1))) ||
                     ((at(i + 1) == '+' || at(i + 1) == '-') && std::isdigit(static_cast<unsigned char>(at(i + 2)))))) {
                    i += 2;
                    while (i < size && std::isdigit(static_cast<unsigned char>(text[i])))
                        ++i;
                }
                if (at(i) == 'f' || at(i) == 'F' || at(i) == 'h' || at(i) == 'H')
                    ++i;
            }
            if (std::isalnum(static_cast<unsigned char>(at(i))) || at(i) == '_')
                Fail(line, "malformed number");
            t.kind = Tok::kNumber;
            t.text.assign(text + start, i - start);
        } else {
            static const char* const kTwo[] = {"+=", "-=", "*=", "/=", "==", "!=", "<=", ">=", "&&", "||"};
            t.kind = Tok::kPunct;
            for (const char* two : kTwo) {
                if (c == two[0] && at(i + 1) == two[1]) {
                    t.text = two;
                    break;
                }
            }
            if (t.text.empty()) {
                if (!std::strchr("{}()[];,.=+-*/<>!?:|", c) || c == '\0') {
                    if (c == '#')
                        Fail(line, "preprocessor directives are not supported");
                    if (c == '"')
                        Fail(line, "strings are not supported");
                    char what[64];
                    std::snprintf(what, sizeof what, "unexpected character 0x%02X", u);
                    Fail(line, what);
                }
                t.text.assign(1, c);
            }
            i += t.text.size();
        }
        tokens.push_back(std::move(t));
    }
    Token end;
    end.line = line;
    tokens.push_back(end);
    return tokens;
}

// ---------------------------------------------------------------------------------------------
// Types

struct Type {
    enum Kind { kVoid, kFloat, kMatrix, kBool, kStruct } kind = kVoid;
    int n = 1;      // components of a float type
    int index = -1; // structure

    static Type Float(int n)
    {
        Type t;
        t.kind = kFloat;
        t.n = n;
        return t;
    }
    static Type Matrix()
    {
        Type t;
        t.kind = kMatrix;
        t.n = 16;
        return t;
    }
    static Type Bool()
    {
        Type t;
        t.kind = kBool;
        return t;
    }
    bool operator==(const Type& o) const { return kind == o.kind && n == o.n && index == o.index; }
    bool operator!=(const Type& o) const { return !(*this == o); }
    bool IsScalar() const { return kind == kFloat && n == 1; }
    bool IsVector() const { return kind == kFloat && n > 1; }
};

struct Member {
    std::string name;
    Type type;
    std::string semantic;
};

struct Struct {
    std::string name;
    std::vector<Member> members;
};

struct Function {
    std::string name;
    Type result;
    std::string resultSemantic;
    std::vector<Member> params;
    int line = 0;
};

// A translated expression.
struct Expr {
    std::string glsl;
    Type type;
    bool assignable = false;
};

std::string Upper(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// "POSITION0" and "POSITION" name the same thing.
std::string BaseSemantic(const std::string& semantic)
{
    std::string s = Upper(semantic);
    if (!s.empty() && s.back() == '0')
        s.pop_back();
    return s;
}

std::string FloatLiteral(double value)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.9g", value);
    std::string s = buf;
    if (s.find_first_of(".eE") == std::string::npos)
        s += ".0";
    return s;
}

// ---------------------------------------------------------------------------------------------
// Render states of a pass

enum class ValueKind { kBool, kCmp, kStencilOp, kBlend, kCull, kFill, kShade, kColorMask, kInt, kFloat };

struct StateName {
    const char* name;
    D3DRENDERSTATETYPE state;
    ValueKind kind;
};

const StateName kStates[] = {
    {"ZEnable", D3DRS_ZENABLE, ValueKind::kBool},
    {"FillMode", D3DRS_FILLMODE, ValueKind::kFill},
    {"ShadeMode", D3DRS_SHADEMODE, ValueKind::kShade},
    {"ZWriteEnable", D3DRS_ZWRITEENABLE, ValueKind::kBool},
    {"AlphaTestEnable", D3DRS_ALPHATESTENABLE, ValueKind::kBool},
    {"SrcBlend", D3DRS_SRCBLEND, ValueKind::kBlend},
    {"DestBlend", D3DRS_DESTBLEND, ValueKind::kBlend},
    {"CullMode", D3DRS_CULLMODE, ValueKind::kCull},
    {"ZFunc", D3DRS_ZFUNC, ValueKind::kCmp},
    {"AlphaRef", D3DRS_ALPHAREF, ValueKind::kInt},
    {"AlphaFunc", D3DRS_ALPHAFUNC, ValueKind::kCmp},
    {"AlphaBlendEnable", D3DRS_ALPHABLENDENABLE, ValueKind::kBool},
    {"FogEnable", D3DRS_FOGENABLE, ValueKind::kBool},
    {"StencilEnable", D3DRS_STENCILENABLE, ValueKind::kBool},
    {"StencilFail", D3DRS_STENCILFAIL, ValueKind::kStencilOp},
    {"StencilZFail", D3DRS_STENCILZFAIL, ValueKind::kStencilOp},
    {"StencilPass", D3DRS_STENCILPASS, ValueKind::kStencilOp},
    {"StencilFunc", D3DRS_STENCILFUNC, ValueKind::kCmp},
    {"StencilRef", D3DRS_STENCILREF, ValueKind::kInt},
    {"StencilMask", D3DRS_STENCILMASK, ValueKind::kInt},
    {"StencilWriteMask", D3DRS_STENCILWRITEMASK, ValueKind::kInt},
    {"Lighting", D3DRS_LIGHTING, ValueKind::kBool},
    {"Ambient", D3DRS_AMBIENT, ValueKind::kInt},
    {"ColorWriteEnable", D3DRS_COLORWRITEENABLE, ValueKind::kColorMask},
    {"SlopeScaleDepthBias", D3DRS_SLOPESCALEDEPTHBIAS, ValueKind::kFloat},
    {"TwoSidedStencilMode", D3DRS_TWOSIDEDSTENCILMODE, ValueKind::kBool},
    {"CCW_StencilFail", D3DRS_CCW_STENCILFAIL, ValueKind::kStencilOp},
    {"CCW_StencilZFail", D3DRS_CCW_STENCILZFAIL, ValueKind::kStencilOp},
    {"CCW_StencilPass", D3DRS_CCW_STENCILPASS, ValueKind::kStencilOp},
    {"CCW_StencilFunc", D3DRS_CCW_STENCILFUNC, ValueKind::kCmp},
    {"DepthBias", D3DRS_DEPTHBIAS, ValueKind::kFloat},
};

struct ValueName {
    const char* name;
    DWORD value;
};

const ValueName kBoolValues[] = {{"TRUE", TRUE}, {"FALSE", FALSE}};
const ValueName kCmpValues[] = {{"NEVER", D3DCMP_NEVER},       {"LESS", D3DCMP_LESS},
                                {"EQUAL", D3DCMP_EQUAL},       {"LESSEQUAL", D3DCMP_LESSEQUAL},
                                {"GREATER", D3DCMP_GREATER},   {"NOTEQUAL", D3DCMP_NOTEQUAL},
                                {"GREATEREQUAL", D3DCMP_GREATEREQUAL}, {"ALWAYS", D3DCMP_ALWAYS}};
const ValueName kOpValues[] = {{"KEEP", D3DSTENCILOP_KEEP},       {"ZERO", D3DSTENCILOP_ZERO},
                               {"REPLACE", D3DSTENCILOP_REPLACE}, {"INCRSAT", D3DSTENCILOP_INCRSAT},
                               {"DECRSAT", D3DSTENCILOP_DECRSAT}, {"INVERT", D3DSTENCILOP_INVERT},
                               {"INCR", D3DSTENCILOP_INCR},       {"DECR", D3DSTENCILOP_DECR}};
const ValueName kBlendValues[] = {{"ZERO", D3DBLEND_ZERO},           {"ONE", D3DBLEND_ONE},
                                  {"SRCCOLOR", D3DBLEND_SRCCOLOR},   {"INVSRCCOLOR", D3DBLEND_INVSRCCOLOR},
                                  {"SRCALPHA", D3DBLEND_SRCALPHA},   {"INVSRCALPHA", D3DBLEND_INVSRCALPHA},
                                  {"DESTALPHA", D3DBLEND_DESTALPHA}, {"INVDESTALPHA", D3DBLEND_INVDESTALPHA},
                                  {"DESTCOLOR", D3DBLEND_DESTCOLOR}, {"INVDESTCOLOR", D3DBLEND_INVDESTCOLOR},
                                  {"SRCALPHASAT", D3DBLEND_SRCALPHASAT}};
const ValueName kCullValues[] = {{"NONE", D3DCULL_NONE}, {"CW", D3DCULL_CW}, {"CCW", D3DCULL_CCW}};
const ValueName kFillValues[] = {{"POINT", D3DFILL_POINT}, {"WIREFRAME", D3DFILL_WIREFRAME}, {"SOLID", D3DFILL_SOLID}};
const ValueName kShadeValues[] = {{"FLAT", D3DSHADE_FLAT}, {"GOURAUD", D3DSHADE_GOURAUD}, {"PHONG", D3DSHADE_PHONG}};
const ValueName kMaskValues[] = {{"RED", D3DCOLORWRITEENABLE_RED},
                                 {"GREEN", D3DCOLORWRITEENABLE_GREEN},
                                 {"BLUE", D3DCOLORWRITEENABLE_BLUE},
                                 {"ALPHA", D3DCOLORWRITEENABLE_ALPHA}};

template <size_t N>
bool FindValue(const ValueName (&table)[N], const std::string& upper, DWORD& value)
{
    for (const ValueName& v : table) {
        if (upper == v.name) {
            value = v.value;
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// The parser and translator

constexpr int kMaxDepth = 64;

class Compiler {
public:
    Compiler(std::vector<Token> tokens, CompiledEffect& out) : m_tokens(std::move(tokens)), m_out(out) {}

    void Run()
    {
        while (Peek().kind != Tok::kEnd)
            TopLevel();
        if (m_out.techniques.empty())
            Fail(Peek().line, "the effect has no technique");
    }

private:
    // -- tokens ------------------------------------------------------------------------------

    const Token& Peek(size_t ahead = 0) const
    {
        const size_t k = std::min(m_pos + ahead, m_tokens.size() - 1);
        return m_tokens[k];
    }
    const Token& Next()
    {
        const Token& t = Peek();
        if (m_pos < m_tokens.size() - 1)
            ++m_pos;
        return t;
    }
    bool IsPunct(const char* p, size_t ahead = 0) const
    {
        const Token& t = Peek(ahead);
        return t.kind == Tok::kPunct && t.text == p;
    }
    bool IsWord(const char* w, size_t ahead = 0) const
    {
        const Token& t = Peek(ahead);
        return t.kind == Tok::kIdent && t.text == w;
    }
    bool Accept(const char* p)
    {
        if (!IsPunct(p))
            return false;
        Next();
        return true;
    }
    void Expect(const char* p)
    {
        if (!Accept(p))
            Fail(Peek().line, std::string("expected '") + p + "' before " + Describe(Peek()));
    }
    static std::string Describe(const Token& t)
    {
        if (t.kind == Tok::kEnd)
            return "the end of the file";
        return "'" + t.text + "'";
    }
    std::string Ident(const char* what)
    {
        if (Peek().kind != Tok::kIdent)
            Fail(Peek().line, std::string("expected ") + what + " before " + Describe(Peek()));
        const Token& t = Next();
        if (IsReserved(t.text))
            Fail(t.line, "'" + t.text + "' cannot be used as a name");
        // GLSL keeps names with double underscores for itself; ours get a prefix and '_'.
        if (t.text[0] == '_' || t.text.find("__") != std::string::npos)
            Fail(t.line, "the name '" + t.text + "' starts with '_' or holds '__'");
        return t.text;
    }
    static bool IsReserved(const std::string& name)
    {
        static const char* const kWords[] = {"if",     "else",     "return",  "struct", "technique", "pass",
                                             "in",     "out",      "inout",   "uniform", "static",   "const",
                                             "float",  "float2",   "float3",  "float4", "float4x4",  "compile",
                                             "for",    "while",    "do",      "break",  "continue",  "discard",
                                             "true",   "false",    "void",    "bool",   "int",       "half"};
        for (const char* w : kWords)
            if (name == w)
                return true;
        return false;
    }

    struct DepthGuard {
        explicit DepthGuard(Compiler& c) : compiler(c)
        {
            if (++compiler.m_depth > kMaxDepth)
                Fail(compiler.Peek().line, "the expression or block is nested too deeply");
        }
        ~DepthGuard() { --compiler.m_depth; }
        Compiler& compiler;
    };

    // -- types -------------------------------------------------------------------------------

    bool IsTypeName(size_t ahead = 0) const
    {
        const Token& t = Peek(ahead);
        if (t.kind != Tok::kIdent)
            return false;
        if (t.text == "float" || t.text == "float2" || t.text == "float3" || t.text == "float4" ||
            t.text == "float4x4")
            return true;
        return FindStruct(t.text) >= 0;
    }
    int FindStruct(const std::string& name) const
    {
        for (size_t i = 0; i < m_structs.size(); ++i)
            if (m_structs[i].name == name)
                return static_cast<int>(i);
        return -1;
    }
    Type ParseType()
    {
        const Token& t = Peek();
        if (t.kind == Tok::kIdent) {
            if (t.text == "float" || t.text == "float2" || t.text == "float3" || t.text == "float4") {
                Next();
                return Type::Float(t.text == "float" ? 1 : t.text[5] - '0');
            }
            if (t.text == "float4x4") {
                Next();
                return Type::Matrix();
            }
            const int s = FindStruct(t.text);
            if (s >= 0) {
                Next();
                Type type;
                type.kind = Type::kStruct;
                type.index = s;
                return type;
            }
            Fail(t.line, "the type '" + t.text + "' is not supported");
        }
        Fail(t.line, "expected a type before " + Describe(t));
    }
    std::string TypeName(const Type& t) const
    {
        switch (t.kind) {
        case Type::kFloat:
            return t.n == 1 ? "float" : "float" + std::to_string(t.n);
        case Type::kMatrix:
            return "float4x4";
        case Type::kBool:
            return "bool";
        case Type::kStruct:
            return m_structs[static_cast<size_t>(t.index)].name;
        default:
            return "void";
        }
    }
    std::string Glsl(const Type& t) const
    {
        switch (t.kind) {
        case Type::kFloat:
            return t.n == 1 ? "float" : "vec" + std::to_string(t.n);
        case Type::kMatrix:
            return "mat4";
        case Type::kBool:
            return "bool";
        case Type::kStruct:
            return "s_" + m_structs[static_cast<size_t>(t.index)].name;
        default:
            return "void";
        }
    }

    // An expression as a value of type `to`: HLSL splats scalars and cuts vectors silently.
    Expr Convert(const Expr& e, const Type& to, int line) const
    {
        if (e.type == to)
            return e;
        Expr r;
        r.type = to;
        if (to.kind == Type::kFloat && e.type.IsScalar()) {
            r.glsl = Glsl(to) + "(" + e.glsl + ")";
            return r;
        }
        if (to.kind == Type::kFloat && e.type.IsVector() && to.n < e.type.n) {
            r.glsl = "(" + e.glsl + ")." + std::string("xyzw").substr(0, static_cast<size_t>(to.n));
            return r;
        }
        if (to.kind == Type::kBool && e.type.IsScalar()) {
            r.glsl = "(" + e.glsl + " != 0.0)";
            return r;
        }
        Fail(line, "cannot convert " + TypeName(e.type) + " to " + TypeName(to));
    }

    // -- top level ---------------------------------------------------------------------------

    void TopLevel()
    {
        const Token& t = Peek();
        if (t.kind != Tok::kIdent)
            Fail(t.line, "unexpected " + Describe(t));
        if (t.text == "struct") {
            StructDecl();
        } else if (t.text == "technique") {
            Technique();
        } else {
            if (IsWord("uniform"))
                Next();
            if (IsWord("static") || IsWord("const") || IsWord("extern") || IsWord("shared"))
                Fail(Peek().line, "'" + Peek().text + "' is not supported");
            const int line = Peek().line;
            const Type type = ParseType();
            const std::string name = Ident("a name");
            if (IsPunct("("))
                FunctionDecl(type, name, line);
            else
                ParameterDecl(type, name, line);
        }
    }

    void CheckFree(const std::string& name, int line) const
    {
        for (const EffectParameter& p : m_out.parameters)
            if (p.name == name)
                Fail(line, "'" + name + "' is already defined");
        for (const Function& f : m_functions)
            if (f.name == name)
                Fail(line, "'" + name + "' is already defined");
        if (FindStruct(name) >= 0)
            Fail(line, "'" + name + "' is already defined");
    }

    std::string Semantic()
    {
        if (!Accept(":"))
            return {};
        if (Peek().kind != Tok::kIdent)
            Fail(Peek().line, "expected a semantic before " + Describe(Peek()));
        return Next().text;
    }

    void StructDecl()
    {
        const int line = Next().line;
        Struct s;
        s.name = Ident("a structure name");
        CheckFree(s.name, line);
        Expect("{");
        while (!Accept("}")) {
            const int memberLine = Peek().line;
            Member m;
            m.type = ParseType();
            if (m.type.kind == Type::kStruct)
                Fail(memberLine, "structures inside structures are not supported");
            m.name = Ident("a member name");
            for (const Member& other : s.members)
                if (other.name == m.name)
                    Fail(memberLine, "'" + m.name + "' is already a member");
            m.semantic = Semantic();
            Expect(";");
            s.members.push_back(m);
        }
        Expect(";");
        if (s.members.empty())
            Fail(line, "the structure '" + s.name + "' is empty");
        m_structs.push_back(std::move(s));
    }

    void ParameterDecl(const Type& type, const std::string& name, int line)
    {
        if (type.kind == Type::kStruct)
            Fail(line, "parameters of structure type are not supported");
        CheckFree(name, line);
        EffectParameter p;
        p.name = name;
        p.glslName = "u_" + name;
        p.components = static_cast<UINT>(type.n);
        Semantic();
        if (Accept("=")) {
            std::vector<float> values;
            if (Accept("{")) {
                if (!IsPunct("}")) {
                    do
                        values.push_back(ConstantNumber());
                    while (Accept(","));
                }
                Expect("}");
            } else if (IsTypeName() && IsPunct("(", 1)) {
                const Type ctor = ParseType();
                if (ctor != type)
                    Fail(line, "the initial value of '" + name + "' is not a " + TypeName(type));
                Expect("(");
                do
                    values.push_back(ConstantNumber());
                while (Accept(","));
                Expect(")");
            } else {
                values.push_back(ConstantNumber());
            }
            if (values.size() == 1 && type.kind == Type::kFloat) {
                for (UINT i = 0; i < p.components; ++i)
                    p.value[i] = values[0];
            } else if (values.size() == p.components) {
                for (UINT i = 0; i < p.components; ++i)
                    p.value[i] = values[i];
            } else {
                Fail(line, "the initial value of '" + name + "' needs " + std::to_string(p.components) + " numbers");
            }
        }
        Expect(";");
        m_out.parameters.push_back(p);
    }

    float ConstantNumber()
    {
        bool negative = false;
        while (IsPunct("-") || IsPunct("+"))
            negative ^= Next().text == "-";
        if (Peek().kind != Tok::kNumber)
            Fail(Peek().line, "expected a number before " + Describe(Peek()));
        const Token& t = Next();
        const double v = NumberValue(t);
        return static_cast<float>(negative ? -v : v);
    }

    static double NumberValue(const Token& t)
    {
        errno = 0;
        double v;
        if (t.text.size() > 2 && t.text[0] == '0' && (t.text[1] == 'x' || t.text[1] == 'X'))
            v = static_cast<double>(std::strtoull(t.text.c_str() + 2, nullptr, 16));
        else
            v = std::strtod(t.text.c_str(), nullptr);
        if (errno == ERANGE || !std::isfinite(v) || std::fabs(v) > 3.4e38)
            Fail(t.line, "the number " + t.text + " is out of range");
        return v;
    }

    // -- functions ---------------------------------------------------------------------------

    void FunctionDecl(const Type& result, const std::string& name, int line)
    {
        CheckFree(name, line);
        Function f;
        f.name = name;
        f.result = result;
        f.line = line;
        Expect("(");
        m_scopes.clear();
        m_scopes.emplace_back();
        std::string code = Glsl(result) + " f_" + name + "(";
        if (!IsPunct(")")) {
            do {
                if (IsWord("in"))
                    Next();
                if (IsWord("out") || IsWord("inout") || IsWord("uniform"))
                    Fail(Peek().line, "'" + Peek().text + "' parameters are not supported");
                const int paramLine = Peek().line;
                Member p;
                p.type = ParseType();
                p.name = Ident("a parameter name");
                if (m_scopes.back().count(p.name))
                    Fail(paramLine, "'" + p.name + "' is already a parameter");
                p.semantic = Semantic();
                if (!f.params.empty())
                    code += ", ";
                code += Glsl(p.type) + " l_" + p.name;
                m_scopes.back()[p.name] = p.type;
                f.params.push_back(p);
            } while (Accept(","));
        }
        Expect(")");
        f.resultSemantic = Semantic();
        code += ")\n";
        m_current = &f;
        code += Block(1);
        m_current = nullptr;
        m_scopes.clear();
        m_functionCode += code;
        m_functions.push_back(std::move(f));
    }

    static std::string Indent(int level) { return std::string(static_cast<size_t>(level) * 4, ' '); }

    // A { ... } block; `level` is the indentation of its braces.
    std::string Block(int level)
    {
        DepthGuard guard(*this);
        Expect("{");
        std::string code = Indent(level - 1) + "{\n";
        m_scopes.emplace_back();
        while (!Accept("}")) {
            if (Peek().kind == Tok::kEnd)
                Fail(Peek().line, "expected '}' before the end of the file");
            code += Statement(level);
        }
        m_scopes.pop_back();
        return code + Indent(level - 1) + "}\n";
    }

    std::string Statement(int level)
    {
        DepthGuard guard(*this);
        const int line = Peek().line;
        if (IsPunct("{"))
            return Block(level + 1);
        if (IsWord("if")) {
            Next();
            Expect("(");
            const Expr cond = Convert(Expression(), Type::Bool(), line);
            Expect(")");
            std::string code = Indent(level) + "if (" + cond.glsl + ")\n" + Branch(level);
            if (IsWord("else")) {
                Next();
                code += Indent(level) + "else\n" + Branch(level);
            }
            return code;
        }
        if (IsWord("return")) {
            Next();
            const Expr value = Convert(Expression(), m_current->result, line);
            Expect(";");
            return Indent(level) + "return " + value.glsl + ";\n";
        }
        if (Peek().kind == Tok::kIdent && (IsWord("const") || IsWord("static")))
            Fail(line, "'" + Peek().text + "' is not supported");
        if (IsTypeName() && Peek(1).kind == Tok::kIdent) {
            const Type type = ParseType();
            std::string code;
            do {
                const int declLine = Peek().line;
                const std::string name = Ident("a variable name");
                // The body's outermost block shares its scope with the parameters.
                if (m_scopes.back().count(name) || (m_scopes.size() == 2 && m_scopes[0].count(name)))
                    Fail(declLine, "'" + name + "' is already defined");
                code += Indent(level) + Glsl(type) + " l_" + name;
                if (Accept("=")) {
                    const Expr init = Convert(Expression(), type, declLine);
                    code += " = " + init.glsl;
                }
                code += ";\n";
                m_scopes.back()[name] = type;
            } while (Accept(","));
            Expect(";");
            return code;
        }
        // An assignment.
        const Expr target = Postfix();
        const Token& op = Peek();
        if (op.kind != Tok::kPunct || (op.text != "=" && op.text != "+=" && op.text != "-=" && op.text != "*=" &&
                                       op.text != "/="))
            Fail(op.line, "expected an assignment before " + Describe(op));
        const std::string opText = Next().text;
        if (!target.assignable)
            Fail(line, "the left side of '" + opText + "' cannot be assigned to");
        Expr value = Expression();
        Expect(";");
        if (opText == "=") {
            value = Convert(value, target.type, line);
        } else {
            if (target.type.kind != Type::kFloat)
                Fail(line, "'" + opText + "' needs a float or a vector on its left");
            if (!value.type.IsScalar())
                value = Convert(value, target.type, line);
        }
        return Indent(level) + target.glsl + " " + opText + " " + value.glsl + ";\n";
    }

    // The statement of an if or else, always as a block in GLSL.
    std::string Branch(int level)
    {
        if (IsPunct("{"))
            return Block(level + 1);
        m_scopes.emplace_back();
        std::string code = Indent(level) + "{\n" + Statement(level + 1) + Indent(level) + "}\n";
        m_scopes.pop_back();
        return code;
    }

    // -- expressions -------------------------------------------------------------------------

    Expr Expression()
    {
        DepthGuard guard(*this);
        const int line = Peek().line;
        Expr cond = Or();
        if (!Accept("?"))
            return cond;
        cond = Convert(cond, Type::Bool(), line);
        Expr a = Expression();
        Expect(":");
        Expr b = Expression();
        const Type t = Common(a.type, b.type, line, "?:");
        a = Convert(a, t, line);
        b = Convert(b, t, line);
        Expr r;
        r.type = t;
        r.glsl = "(" + cond.glsl + " ? " + a.glsl + " : " + b.glsl + ")";
        return r;
    }

    // The type that two operands of an arithmetic operation meet in.
    Type Common(const Type& a, const Type& b, int line, const char* op) const
    {
        if (a.kind != Type::kFloat || b.kind != Type::kFloat)
            Fail(line, std::string("'") + op + "' cannot take " + TypeName(a) + " and " + TypeName(b) +
                           (a.kind == Type::kMatrix || b.kind == Type::kMatrix ? " (use mul)" : ""));
        if (a.n == 1)
            return b;
        if (b.n == 1)
            return a;
        return Type::Float(std::min(a.n, b.n));
    }

    Expr Logic(Expr (Compiler::*next)(), const char* op)
    {
        const int line = Peek().line;
        Expr left = (this->*next)();
        while (IsPunct(op)) {
            Next();
            const Expr l = Convert(left, Type::Bool(), line);
            const Expr r = Convert((this->*next)(), Type::Bool(), line);
            left.glsl = "(" + l.glsl + " " + op + " " + r.glsl + ")";
            left.type = Type::Bool();
            left.assignable = false;
        }
        return left;
    }
    Expr Or() { return Logic(&Compiler::And, "||"); }
    Expr And() { return Logic(&Compiler::Comparison, "&&"); }

    Expr Comparison()
    {
        const int line = Peek().line;
        Expr left = Additive();
        static const char* const kOps[] = {"<", ">", "<=", ">=", "==", "!="};
        for (const char* op : kOps) {
            if (IsPunct(op)) {
                Next();
                const Expr right = Additive();
                if (!left.type.IsScalar() || !right.type.IsScalar())
                    Fail(line, std::string("'") + op + "' compares only scalars, not " + TypeName(left.type) +
                                   " and " + TypeName(right.type));
                Expr r;
                r.type = Type::Bool();
                r.glsl = "(" + left.glsl + " " + op + " " + right.glsl + ")";
                return r;
            }
        }
        return left;
    }

    Expr Arithmetic(const Expr& a, const Expr& b, const std::string& op, int line) const
    {
        const Type t = Common(a.type, b.type, line, op.c_str());
        const Expr l = a.type.IsScalar() ? a : Convert(a, t, line);
        const Expr r = b.type.IsScalar() ? b : Convert(b, t, line);
        Expr e;
        e.type = t;
        e.glsl = "(" + l.glsl + " " + op + " " + r.glsl + ")";
        return e;
    }

    Expr Additive()
    {
        Expr left = Multiplicative();
        while (IsPunct("+") || IsPunct("-")) {
            const Token& op = Next();
            left = Arithmetic(left, Multiplicative(), op.text, op.line);
        }
        return left;
    }

    Expr Multiplicative()
    {
        Expr left = Unary();
        while (IsPunct("*") || IsPunct("/")) {
            const Token& op = Next();
            left = Arithmetic(left, Unary(), op.text, op.line);
        }
        return left;
    }

    Expr Unary()
    {
        DepthGuard guard(*this);
        const int line = Peek().line;
        if (Accept("-")) {
            Expr e = Unary();
            if (e.type.kind != Type::kFloat)
                Fail(line, "'-' cannot take " + TypeName(e.type));
            e.glsl = "(-" + e.glsl + ")";
            e.assignable = false;
            return e;
        }
        if (Accept("+")) {
            Expr e = Unary();
            if (e.type.kind != Type::kFloat)
                Fail(line, "'+' cannot take " + TypeName(e.type));
            e.assignable = false;
            return e;
        }
        if (Accept("!")) {
            const Expr e = Convert(Unary(), Type::Bool(), line);
            Expr r;
            r.type = Type::Bool();
            r.glsl = "(!" + e.glsl + ")";
            return r;
        }
        return Postfix();
    }

    Expr Postfix()
    {
        Expr e = Primary();
        while (IsPunct(".") || IsPunct("[")) {
            const Token& dot = Next();
            if (dot.text == "[")
                Fail(dot.line, "indexing is not supported");
            if (Peek().kind != Tok::kIdent)
                Fail(dot.line, "expected a member or swizzle after '.'");
            const std::string name = Next().text;
            if (e.type.kind == Type::kStruct) {
                const Struct& s = m_structs[static_cast<size_t>(e.type.index)];
                const Member* found = nullptr;
                for (const Member& m : s.members)
                    if (m.name == name)
                        found = &m;
                if (!found)
                    Fail(dot.line, "'" + s.name + "' has no member '" + name + "'");
                e.glsl = e.glsl + ".m_" + name;
                e.type = found->type;
                continue;
            }
            if (e.type.kind != Type::kFloat)
                Fail(dot.line, "'." + name + "' cannot be applied to " + TypeName(e.type));
            e = Swizzle(e, name, dot.line);
        }
        return e;
    }

    Expr Swizzle(const Expr& e, const std::string& name, int line) const
    {
        if (name.empty() || name.size() > 4)
            Fail(line, "'" + name + "' is not a swizzle");
        const bool rgba = std::strchr("rgba", name[0]) != nullptr;
        const char* set = rgba ? "rgba" : "xyzw";
        std::string letters;
        bool repeated = false;
        for (char c : name) {
            const char* p = std::strchr(set, c);
            if (!p || c == '\0')
                Fail(line, "'" + name + "' is not a swizzle");
            const int index = static_cast<int>(p - set);
            if (index >= e.type.n)
                Fail(line, "'" + name + "' reads past the end of a " + TypeName(e.type));
            const char xyzw = "xyzw"[index];
            if (letters.find(xyzw) != std::string::npos)
                repeated = true;
            letters += xyzw;
        }
        Expr r;
        r.type = Type::Float(static_cast<int>(letters.size()));
        r.assignable = e.assignable && !repeated;
        if (e.type.n == 1) {
            // GLSL 1.20 has no swizzles of scalars.
            r.glsl = letters.size() == 1 ? e.glsl : Glsl(r.type) + "(" + e.glsl + ")";
            return r;
        }
        r.glsl = (e.glsl.back() == ')' || std::isalnum(static_cast<unsigned char>(e.glsl.back())) ||
                          e.glsl.back() == '_'
                      ? e.glsl
                      : "(" + e.glsl + ")") +
                 "." + letters;
        return r;
    }

    Expr Primary()
    {
        DepthGuard guard(*this);
        const Token& t = Peek();
        if (t.kind == Tok::kNumber) {
            Next();
            Expr e;
            e.type = Type::Float(1);
            e.glsl = FloatLiteral(NumberValue(t));
            return e;
        }
        if (Accept("(")) {
            Expr e = Expression();
            Expect(")");
            e.glsl = "(" + e.glsl + ")";
            return e;
        }
        if (t.kind != Tok::kIdent)
            Fail(t.line, "expected an expression before " + Describe(t));
        if (t.text == "true" || t.text == "false") {
            Next();
            Expr e;
            e.type = Type::Bool();
            e.glsl = t.text;
            return e;
        }
        if (IsTypeName() && IsPunct("(", 1))
            return Constructor();
        if (IsReserved(t.text))
            Fail(t.line, "'" + t.text + "' is not supported here");
        if (IsPunct("(", 1))
            return Call();
        const std::string name = Next().text;
        for (auto scope = m_scopes.rbegin(); scope != m_scopes.rend(); ++scope) {
            auto it = scope->find(name);
            if (it != scope->end()) {
                Expr e;
                e.type = it->second;
                e.glsl = "l_" + name;
                e.assignable = true;
                return e;
            }
        }
        for (const EffectParameter& p : m_out.parameters) {
            if (p.name == name) {
                Expr e;
                e.type = p.components == 16 ? Type::Matrix() : Type::Float(static_cast<int>(p.components));
                e.glsl = p.glslName;
                return e;
            }
        }
        Fail(t.line, "'" + name + "' is not defined");
    }

    std::vector<Expr> Arguments()
    {
        std::vector<Expr> args;
        Expect("(");
        if (!IsPunct(")")) {
            do
                args.push_back(Expression());
            while (Accept(","));
        }
        Expect(")");
        return args;
    }

    Expr Constructor()
    {
        const int line = Peek().line;
        const Type type = ParseType();
        if (type.kind != Type::kFloat || type.n == 1)
            Fail(line, "the constructor " + TypeName(type) + "(...) is not supported");
        const std::vector<Expr> args = Arguments();
        int count = 0;
        std::string code = Glsl(type) + "(";
        for (size_t i = 0; i < args.size(); ++i) {
            if (args[i].type.kind != Type::kFloat)
                Fail(line, TypeName(type) + "(...) cannot take " + TypeName(args[i].type));
            count += args[i].type.n;
            code += (i ? ", " : "") + args[i].glsl;
        }
        if (!(args.size() == 1 && count == 1) && count != type.n)
            Fail(line, TypeName(type) + "(...) needs " + std::to_string(type.n) + " components, not " +
                           std::to_string(count));
        Expr e;
        e.type = type;
        e.glsl = code + ")";
        return e;
    }

    static void Arity(const std::string& name, const std::vector<Expr>& args, size_t n, int line)
    {
        if (args.size() != n)
            Fail(line, name + " takes " + std::to_string(n) + " argument" + (n == 1 ? "" : "s"));
    }

    Expr Call()
    {
        const int line = Peek().line;
        const std::string name = Next().text;
        const std::vector<Expr> args = Arguments();
        Expr r;
        if (name == "mul") {
            Arity(name, args, 2, line);
            const Type& a = args[0].type;
            const Type& b = args[1].type;
            if (a.kind == Type::kMatrix || b.kind == Type::kMatrix) {
                // Matrices are stored as given by SetMatrix, so OpenGL sees their transpose and
                // the row-vector product v x M is M' x v.
                const bool ok = (a.kind == Type::kMatrix && (b.kind == Type::kMatrix || (b.kind == Type::kFloat &&
                                                                                         (b.n == 4 || b.n == 1)))) ||
                                (b.kind == Type::kMatrix && a.kind == Type::kFloat && (a.n == 4 || a.n == 1));
                if (!ok)
                    Fail(line, "mul cannot take " + TypeName(a) + " and " + TypeName(b));
                r.type = (a.kind == Type::kMatrix && b.kind == Type::kMatrix) || a.n == 1 || b.n == 1
                             ? Type::Matrix()
                             : Type::Float(4);
                if (a.n == 1 || b.n == 1)
                    r.glsl = "(" + args[0].glsl + " * " + args[1].glsl + ")";
                else
                    r.glsl = "(" + args[1].glsl + " * " + args[0].glsl + ")";
                return r;
            }
            if (a.kind == Type::kFloat && b.kind == Type::kFloat) {
                if (a.n == 1 || b.n == 1)
                    return Arithmetic(args[0], args[1], "*", line);
                const Type t = Common(a, b, line, "mul");
                r.type = Type::Float(1);
                r.glsl = "dot(" + Convert(args[0], t, line).glsl + ", " + Convert(args[1], t, line).glsl + ")";
                return r;
            }
            Fail(line, "mul cannot take " + TypeName(a) + " and " + TypeName(b));
        }
        if (name == "dot" || name == "cross" || name == "min" || name == "max") {
            Arity(name, args, 2, line);
            const Type t = Common(args[0].type, args[1].type, line, name.c_str());
            if (name == "cross" && t.n != 3)
                Fail(line, "cross takes two float3");
            r.type = name == "dot" ? Type::Float(1) : t;
            r.glsl = name + "(" + Convert(args[0], t, line).glsl + ", " + Convert(args[1], t, line).glsl + ")";
            return r;
        }
        if (name == "normalize" || name == "length") {
            Arity(name, args, 1, line);
            if (args[0].type.kind != Type::kFloat)
                Fail(line, name + " cannot take " + TypeName(args[0].type));
            r.type = name == "length" ? Type::Float(1) : args[0].type;
            r.glsl = name + "(" + args[0].glsl + ")";
            return r;
        }
        for (const Function& f : m_functions) {
            if (f.name != name)
                continue;
            Arity(name, args, f.params.size(), line);
            std::string code = "f_" + name + "(";
            for (size_t i = 0; i < args.size(); ++i)
                code += (i ? ", " : "") + Convert(args[i], f.params[i].type, line).glsl;
            r.type = f.result;
            r.glsl = code + ")";
            return r;
        }
        if (m_current && name == m_current->name)
            Fail(line, "recursion is not supported");
        Fail(line, "the function '" + name + "' is not supported");
    }

    // -- techniques --------------------------------------------------------------------------

    void Technique()
    {
        const int line = Next().line;
        EffectTechnique technique;
        technique.name = Ident("a technique name");
        for (const EffectTechnique& t : m_out.techniques)
            if (t.name == technique.name)
                Fail(line, "the technique '" + technique.name + "' is already defined");
        if (IsPunct("<"))
            Fail(Peek().line, "annotations are not supported");
        Expect("{");
        while (!Accept("}")) {
            if (!IsWord("pass"))
                Fail(Peek().line, "expected 'pass' before " + Describe(Peek()));
            Next();
            EffectPass pass;
            if (Peek().kind == Tok::kIdent)
                pass.name = Next().text;
            if (IsPunct("<"))
                Fail(Peek().line, "annotations are not supported");
            Expect("{");
            while (!Accept("}"))
                PassAssignment(pass);
            technique.passes.push_back(std::move(pass));
        }
        if (technique.passes.empty())
            Fail(line, "the technique '" + technique.name + "' has no pass");
        m_out.techniques.push_back(std::move(technique));
    }

    void PassAssignment(EffectPass& pass)
    {
        const int line = Peek().line;
        if (Peek().kind != Tok::kIdent)
            Fail(line, "expected a state before " + Describe(Peek()));
        const std::string state = Next().text;
        const std::string upper = Upper(state);
        if (IsPunct("["))
            Fail(line, "indexed states are not supported");
        Expect("=");
        if (upper == "VERTEXSHADER" || upper == "PIXELSHADER") {
            if (IsWord("NULL") || IsWord("null")) {
                Next();
                if (upper == "VERTEXSHADER")
                    pass.vertexShader.clear();
            } else if (IsWord("compile")) {
                Next();
                if (upper == "PIXELSHADER")
                    Fail(line, "pixel shaders are not supported");
                if (Peek().kind != Tok::kIdent)
                    Fail(line, "expected a vertex shader profile");
                const std::string profile = Next().text;
                if (profile != "vs_1_1" && profile != "vs_2_0" && profile != "vs_2_a" && profile != "vs_3_0")
                    Fail(line, "the profile '" + profile + "' is not supported");
                const std::string entry = Ident("a function name");
                Expect("(");
                if (!IsPunct(")"))
                    Fail(line, "arguments to a compiled shader are not supported");
                Expect(")");
                pass.vertexShader = VertexShader(entry, line);
            } else {
                Fail(line, "expected 'compile' or NULL after '" + state + " ='");
            }
            Expect(";");
            return;
        }
        const StateName* found = nullptr;
        for (const StateName& s : kStates)
            if (upper == Upper(s.name))
                found = &s;
        if (!found)
            Fail(line, "the state '" + state + "' is not supported");
        const DWORD value = StateValue(*found, line);
        Expect(";");
        pass.states.emplace_back(found->state, value);
    }

    DWORD StateValue(const StateName& state, int line)
    {
        if (state.kind == ValueKind::kFloat) {
            const float f = ConstantNumber();
            DWORD bits;
            std::memcpy(&bits, &f, sizeof bits);
            return bits;
        }
        DWORD total = 0;
        do {
            const Token& t = Peek();
            if (t.kind == Tok::kNumber) {
                Next();
                const double v = NumberValue(t);
                if (v < 0 || v > 4294967295.0 || v != std::floor(v))
                    Fail(line, "the value " + t.text + " of '" + std::string(state.name) + "' is not a whole number");
                total |= static_cast<DWORD>(v);
                continue;
            }
            if (t.kind != Tok::kIdent)
                Fail(line, "expected a value for '" + std::string(state.name) + "'");
            const std::string name = Upper(Next().text);
            DWORD v = 0;
            bool ok = false;
            switch (state.kind) {
            case ValueKind::kBool:
                ok = FindValue(kBoolValues, name, v);
                break;
            case ValueKind::kCmp:
                ok = FindValue(kCmpValues, name, v);
                break;
            case ValueKind::kStencilOp:
                ok = FindValue(kOpValues, name, v);
                break;
            case ValueKind::kBlend:
                ok = FindValue(kBlendValues, name, v);
                break;
            case ValueKind::kCull:
                ok = FindValue(kCullValues, name, v);
                break;
            case ValueKind::kFill:
                ok = FindValue(kFillValues, name, v);
                break;
            case ValueKind::kShade:
                ok = FindValue(kShadeValues, name, v);
                break;
            case ValueKind::kColorMask:
                ok = FindValue(kMaskValues, name, v);
                break;
            default:
                break;
            }
            if (!ok)
                Fail(line, "'" + t.text + "' is not a value of '" + std::string(state.name) + "'");
            total |= v;
        } while (Accept("|"));
        return total;
    }

    // The GLSL program of a pass: every structure and function, then a main that feeds the
    // entry function from the vertex arrays and hands its position to OpenGL.
    std::string VertexShader(const std::string& entry, int line)
    {
        const Function* f = nullptr;
        for (const Function& fn : m_functions)
            if (fn.name == entry)
                f = &fn;
        if (!f)
            Fail(line, "the function '" + entry + "' is not defined");
        std::string args;
        bool havePosition = false, haveNormal = false;
        for (const Member& p : f->params) {
            const std::string semantic = BaseSemantic(p.semantic);
            std::string source;
            if (p.type.kind != Type::kFloat || p.type.n < 3)
                Fail(f->line, "the input '" + p.name + "' of '" + entry + "' must be a float3 or float4");
            if (semantic == "POSITION" && !havePosition) {
                havePosition = true;
                source = p.type.n == 4 ? "gl_Vertex" : "gl_Vertex.xyz";
            } else if (semantic == "NORMAL" && !haveNormal) {
                haveNormal = true;
                source = p.type.n == 3 ? "gl_Normal" : "vec4(gl_Normal, 1.0)";
            } else if (p.semantic.empty()) {
                Fail(f->line, "the input '" + p.name + "' of '" + entry + "' has no semantic");
            } else {
                Fail(f->line, "the input semantic '" + p.semantic + "' of '" + entry + "' is not supported");
            }
            args += (args.empty() ? "" : ", ") + source;
        }
        std::string position;
        if (f->result.kind == Type::kStruct) {
            const Struct& s = m_structs[static_cast<size_t>(f->result.index)];
            for (const Member& m : s.members) {
                if (BaseSemantic(m.semantic) != "POSITION" || m.type != Type::Float(4))
                    Fail(f->line, "the output '" + m.name + "' of '" + entry +
                                      "' must be a float4 with the POSITION semantic");
                if (!position.empty())
                    Fail(f->line, "'" + entry + "' writes POSITION twice");
                position = ".m_" + m.name;
            }
        } else if (f->result != Type::Float(4) || BaseSemantic(f->resultSemantic) != "POSITION") {
            Fail(f->line, "'" + entry + "' must return a float4 with the POSITION semantic");
        }
        std::string code = "#version 120\n";
        for (const EffectParameter& p : m_out.parameters)
            code += "uniform " + std::string(p.components == 16 ? "mat4" : p.components == 1 ? "float"
                                                                                           : "vec" +
                                                                                                 std::to_string(
                                                                                                     p.components)) +
                    " " + p.glslName + ";\n";
        code += "uniform vec4 " + std::string(kClipAdjustUniform) + ";\n";
        for (const Struct& s : m_structs) {
            code += "struct s_" + s.name + "\n{\n";
            for (const Member& m : s.members)
                code += "    " + Glsl(m.type) + " m_" + m.name + ";\n";
            code += "};\n";
        }
        code += m_functionCode;
        code += "void main()\n{\n    vec4 p = f_" + entry + "(" + args + ")" + position + ";\n";
        code += "    gl_Position = vec4(p.x + p.w * " + std::string(kClipAdjustUniform) + ".x, p.y + p.w * " +
                kClipAdjustUniform + ".y, p.z * 2.0 - p.w, p.w);\n}\n";
        return code;
    }

    std::vector<Token> m_tokens;
    size_t m_pos = 0;
    CompiledEffect& m_out;
    std::vector<Struct> m_structs;
    std::vector<Function> m_functions;
    std::string m_functionCode;
    std::vector<std::map<std::string, Type>> m_scopes;
    const Function* m_current = nullptr;
    int m_depth = 0;
};

} // namespace

bool CompileEffect(const char* text, size_t size, const std::string& name, CompiledEffect& out, std::string& errors)
{
    out = CompiledEffect();
    errors.clear();
    try {
        if (size == 0 || !text)
            Fail(1, "the effect is empty");
        Compiler compiler(Tokenize(text, size), out);
        compiler.Run();
        return true;
    } catch (const CompileError& e) {
        errors = name + "(" + std::to_string(e.line) + "): error: " + e.message + "\n";
        out = CompiledEffect();
        return false;
    }
}

} // namespace qv::d3dx9
