// A small JSON value with an exact reader and writer, for the tools' --json
// output and their JSON inputs (descriptions, manifests). Text is UTF-8.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarn::tools {

class JsonError : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

class Json {
public:
    enum class Type { Null, Bool, Integer, Float, String, Array, Object };

    Json() = default;
    Json(std::nullptr_t) { }
    Json(bool b) : type_(Type::Bool), bool_(b) { }
    Json(int v) : type_(Type::Integer), int_(v) { }
    Json(long v) : type_(Type::Integer), int_(v) { }
    Json(long long v) : type_(Type::Integer), int_(v) { }
    Json(unsigned v) : type_(Type::Integer), int_(v) { }
    Json(unsigned long v) : type_(Type::Integer), int_(static_cast<int64_t>(v)) { }
    Json(unsigned long long v) : type_(Type::Integer), int_(static_cast<int64_t>(v)) { }
    Json(double v) : type_(Type::Float), float_(v) { }
    Json(const char* s) : type_(Type::String), string_(s) { }
    Json(std::string s) : type_(Type::String), string_(std::move(s)) { }
    Json(std::string_view s) : type_(Type::String), string_(s) { }
    static Json Array() { Json j; j.type_ = Type::Array; return j; }
    static Json Object() { Json j; j.type_ = Type::Object; return j; }

    Type type() const { return type_; }
    bool IsNull() const { return type_ == Type::Null; }
    bool IsBool() const { return type_ == Type::Bool; }
    bool IsInteger() const { return type_ == Type::Integer; }
    bool IsNumber() const { return type_ == Type::Integer || type_ == Type::Float; }
    bool IsString() const { return type_ == Type::String; }
    bool IsArray() const { return type_ == Type::Array; }
    bool IsObject() const { return type_ == Type::Object; }

    // Typed access; a value of another type raises JsonError.
    bool AsBool() const;
    int64_t AsInteger() const; // also a float without a fraction
    double AsFloat() const;
    const std::string& AsString() const;
    const std::vector<Json>& Items() const;
    std::vector<Json>& Items();
    const std::vector<std::pair<std::string, Json>>& Members() const;

    // Arrays.
    void Push(Json value);
    size_t Size() const;
    const Json& operator[](size_t index) const;
    // Objects, in insertion order; Set replaces a member of the same key.
    void Set(std::string key, Json value);
    const Json* Find(std::string_view key) const;
    bool Has(std::string_view key) const { return Find(key) != nullptr; }
    const Json& Get(std::string_view key) const; // raises JsonError when missing

    // Raises JsonError with the byte offset on malformed input (depth limit 256).
    static Json Parse(std::string_view text);
    // Compact, or indented by indent spaces per level when indent > 0.
    std::string Dump(int indent = 0) const;

private:
    void DumpTo(std::string& out, int indent, int level) const;

    Type type_ = Type::Null;
    bool bool_ = false;
    int64_t int_ = 0;
    double float_ = 0;
    std::string string_;
    std::vector<Json> items_;
    std::vector<std::pair<std::string, Json>> members_;
};

// The JSON text of a string (with quotes).
std::string JsonQuote(std::string_view utf8);

} // namespace tarn::tools
