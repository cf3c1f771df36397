// Key expressions run once per record while an index is built, so evaluating into a reused
// value must not touch the heap. This file counts the allocations of the test's own thread
// while a flag is up, by replacing the global operator new (a plain pass-through to malloc).
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "ExprFixture.h"
#include "expr/Expression.h"

namespace {

thread_local bool tCounting = false;
thread_local long tAllocations = 0;

void* Allocate(std::size_t size) {
  if (tCounting) ++tAllocations;
  return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

void* operator new(std::size_t size) {
  if (void* p = Allocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  if (void* p = Allocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return Allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return Allocate(size);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}

namespace {

TEST(ExpressionAllocation, ReusedValueNeedsNoHeap) {
  const char* texts[] = {
      "UPPER(ITEM)",
      "ITEM+DESCR",
      "UPPER(ITEM)+STR(QTY,8,2)+DTOS(DUE)",
      "ITEM - DESCR",
      "UPPER(ITEM) = 'AB' .AND. QTY > 1 .AND. .NOT. DELETED()",
      "LEFT( DTOS(DUE), 4) = \"2024\"",
      "SUBSTR(ITEM,2,3) + PADR(TRIM(DESCR),20) + RIGHT(LOWER(ITEM),2)",
      "IIF(PAID, ALLTRIM(DESCR), LTRIM(ITEM)) $ SPACE(5)",
      "DTOC(CTOD(DTOC(DUE)) + 1) + STR(VAL(RAW) + RATE, 12, 4)",
      "DUE - {^2024-01-01} + LEN(ITEM) + RECNO()",
  };
  xbtest::ExprTestSchema schema;
  xbtest::ExprTestContext context;
  for (const char* text : texts) {
    auto parsed = xb::Expression::Parse(text, schema);
    ASSERT_TRUE(parsed.ok()) << text << ": " << parsed.status().message();
    const xb::Expression& expression = **parsed;
    xb::Value value;
    expression.Evaluate(context, value);  // buffers grow to size once
    tAllocations = 0;
    tCounting = true;
    for (int i = 0; i < 100; ++i) expression.Evaluate(context, value);
    tCounting = false;
    EXPECT_EQ(tAllocations, 0) << text;
  }
}

TEST(ExpressionAllocation, TheCounterSeesAllocations) {
  // Guards the test above against a counter that never counts.
  tAllocations = 0;
  tCounting = true;
  auto* text = new std::string(100, 'x');
  tCounting = false;
  delete text;
  EXPECT_GE(tAllocations, 1);
}

}  // namespace
