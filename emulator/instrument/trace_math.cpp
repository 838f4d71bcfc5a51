#include "instrument/trace_math.h"

#include <cctype>
#include <cstdlib>
#include <string>

#include "instrument/instrument_state.h"
#include "scpi/error_codes.h"

namespace tevo::emulator {
namespace {

class ExpressionParser {
  public:
    ExpressionParser(std::string_view text, const TraceLookup& trace, size_t points)
        : text_(text), trace_(trace), points_(points) {}

    std::vector<float> Parse() {
        std::vector<float> result = Sum();
        SkipWhite();
        if (pos_ != text_.size())
            throw scpi::Error(scpi::kInvalidExpression);
        return result;
    }

  private:
    void SkipWhite() {
        while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_])))
            ++pos_;
    }

    std::vector<float> Sum() {
        std::vector<float> left = Term();
        while (true) {
            SkipWhite();
            if (pos_ >= text_.size() || (text_[pos_] != '+' && text_[pos_] != '-'))
                return left;
            const char op = text_[pos_++];
            const std::vector<float> right = Term();
            for (size_t i = 0; i < points_; ++i)
                left[i] = op == '+' ? left[i] + right[i] : left[i] - right[i];
        }
    }

    std::vector<float> Term() {
        SkipWhite();
        if (pos_ >= text_.size())
            throw scpi::Error(scpi::kInvalidExpression);
        const char c = text_[pos_];
        if (c == '(') {
            ++pos_;
            std::vector<float> inner = Sum();
            SkipWhite();
            if (pos_ >= text_.size() || text_[pos_] != ')')
                throw scpi::Error(scpi::kInvalidExpression);
            ++pos_;
            return inner;
        }
        if (c == '-') {
            ++pos_;
            std::vector<float> inner = Term();
            for (float& v : inner)
                v = -v;
            return inner;
        }
        if (std::isdigit(static_cast<unsigned char>(c)) || c == '.') {
            const std::string rest(text_.substr(pos_));
            char* end = nullptr;
            const double value = std::strtod(rest.c_str(), &end);
            if (end == rest.c_str())
                throw scpi::Error(scpi::kInvalidExpression);
            pos_ += static_cast<size_t>(end - rest.c_str());
            return std::vector<float>(points_, static_cast<float>(value));
        }
        if (std::isalpha(static_cast<unsigned char>(c))) {
            const size_t start = pos_;
            while (pos_ < text_.size() && std::isalnum(static_cast<unsigned char>(text_[pos_])))
                ++pos_;
            const int number = TraceNumberFromName(text_.substr(start, pos_ - start));
            if (number == 0)
                throw scpi::Error(scpi::kExpressionError);
            const std::vector<float>& values = trace_(number);
            std::vector<float> copy(values.begin(), values.end());
            copy.resize(points_, 0.0f);
            return copy;
        }
        throw scpi::Error(scpi::kInvalidExpression);
    }

    std::string_view text_;
    const TraceLookup& trace_;
    size_t points_;
    size_t pos_ = 0;
};

}  // namespace

int TraceNumberFromName(std::string_view name) {
    std::string upper;
    for (const char c : name)
        upper.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    std::string_view digits;
    if (upper.rfind("TRACE", 0) == 0)
        digits = std::string_view(upper).substr(5);
    else if (upper.rfind("TRAC", 0) == 0)
        digits = std::string_view(upper).substr(4);
    else
        return 0;
    if (digits.size() != 1 || digits[0] < '1' || digits[0] > '0' + kTraceCount)
        return 0;
    return digits[0] - '0';
}

std::vector<float> EvaluateTraceExpression(std::string_view expression, const TraceLookup& trace,
                                           size_t points) {
    return ExpressionParser(expression, trace, points).Parse();
}

}  // namespace tevo::emulator
