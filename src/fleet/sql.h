// The SQL of the project's sql/ folder, built into the library as string
// constants (generated from the .sql files at build time).
#ifndef ZELFLEET_SQL_H
#define ZELFLEET_SQL_H

namespace zel_fleet::sql {

extern const char* const kSchema;
extern const char* const kSchemaVersion;
extern const char* const kCountBucketMids;
extern const char* const kInsertBucketMid;
extern const char* const kFindSession;
extern const char* const kInsertSession;
extern const char* const kInsertTag;
extern const char* const kInsertBucket;
extern const char* const kFleet;

}  // namespace zel_fleet::sql

#endif
