// Keeps the test-support library non-empty before any shared fixture exists.
namespace qolt_test_support {
int anchor = 0;
}
