-- The fleet store's tables, created in one transaction on first use.
-- Every count is an exact BIGINT; a frame time is whole nanoseconds.

-- The layout's version: a store with another version is refused, not guessed at.
CREATE TABLE zel_schema (
  version INTEGER NOT NULL
);

-- One row per session. session_id is the first 63 bits of session_key (the
-- SHA-256 of the session's summary), so the bucket and tag rows carry 8 bytes
-- rather than 64 hex digits; the same key is the same session.
CREATE TABLE zel_session (
  session_id BIGINT NOT NULL PRIMARY KEY,
  session_key CHAR(64) NOT NULL UNIQUE,
  scale INTEGER NOT NULL,
  sessions BIGINT NOT NULL,
  frames BIGINT NOT NULL,
  total_ns BIGINT NOT NULL,
  min_ns BIGINT NOT NULL,
  max_ns BIGINT NOT NULL,
  zero_count BIGINT NOT NULL,
  over_16_7ms BIGINT NOT NULL,
  over_33_3ms BIGINT NOT NULL,
  over_700ms BIGINT NOT NULL,
  stutters BIGINT NOT NULL,
  stutter_ns BIGINT NOT NULL,
  jitter_ns BIGINT NOT NULL,
  stored_at TIMESTAMP DEFAULT CURRENT_TIMESTAMP
);

-- A session's tags: application, file, build, machine and the like.
CREATE TABLE zel_tag (
  session_id BIGINT NOT NULL,
  tag_key VARCHAR(256) NOT NULL,
  tag_value VARCHAR(4096) NOT NULL,
  PRIMARY KEY (session_id, tag_key)
);

-- A session's non-empty buckets at its own scale (repeated here from the
-- session): bucket i holds the frame times v with base^i < v <= base^(i + 1),
-- base = 2^(2^-scale). No key: the rows are written with their session, in
-- one transaction, and the session's key keeps them unique.
CREATE TABLE zel_bucket (
  session_id BIGINT NOT NULL,
  scale INTEGER NOT NULL,
  bucket_index INTEGER NOT NULL,
  frames BIGINT NOT NULL
);

-- The fleet query adds the buckets up by scale and index: in this order an
-- engine can do that in one pass, without sorting, from the index alone.
CREATE INDEX zel_bucket_by_index ON zel_bucket (scale, bucket_index, session_id, frames);

-- Each bucket's middle in whole nanoseconds (halves rounded up), written
-- once by the library for every scale and index it can produce, so that the
-- fleet query is integer arithmetic and every engine gives the same figures.
CREATE TABLE zel_bucket_mid (
  scale INTEGER NOT NULL,
  bucket_index INTEGER NOT NULL,
  mid_ns BIGINT NOT NULL,
  PRIMARY KEY (scale, bucket_index)
);

INSERT INTO zel_schema (version) VALUES (1);
