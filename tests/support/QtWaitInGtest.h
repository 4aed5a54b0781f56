#pragma once

// Qt's waiting checks (QTRY_VERIFY_WITH_TIMEOUT, QTRY_COMPARE_WITH_TIMEOUT)
// inside googletest tests. Qt's own QVERIFY and QCOMPARE report to a QTest
// run that does not exist here and then return from the test, which then
// passes; these report the failure to googletest before returning.
#include <gtest/gtest.h>

#include <QTest>

#undef QVERIFY
#define QVERIFY(statement)                                             \
  do {                                                                 \
    if (!static_cast<bool>(statement)) {                               \
      ADD_FAILURE() << "still false when the wait ended: " #statement; \
      return;                                                          \
    }                                                                  \
  } while (false)

#undef QCOMPARE
#define QCOMPARE(actual, expected)                                                     \
  do {                                                                                 \
    if (!((actual) == (expected))) {                                                   \
      ADD_FAILURE() << "still unequal when the wait ended: " #actual " == " #expected; \
      return;                                                                          \
    }                                                                                  \
  } while (false)
