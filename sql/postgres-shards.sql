-- PostgreSQL's own: a coordinator whose sessions live on two shards.
-- Table partitioning (PARTITION BY HASH) and the postgres_fdw extension are
-- PostgreSQL features, not standard SQL; the other .sql files run unchanged
-- on the coordinator, which routes each row to its shard.
--
-- Each shard is an ordinary store: run schema.sql on it first. Then run this
-- on the coordinator's (empty) database with psql, naming the shards:
--   psql -v shard0_host=HOST -v shard0_port=PORT -v shard1_host=... \
--        -v shard1_port=... -v shard_dbname=DB -v shard_user=USER -f postgres-shards.sql
-- Sessions, their tags and their buckets are partitioned alike by session_id,
-- so that a session's rows sit together on one shard; the shards enforce
-- the keys. The bucket middles and the version stay on the coordinator (the
-- library writes the middles on first use).
CREATE EXTENSION postgres_fdw;

CREATE SERVER shard0 FOREIGN DATA WRAPPER postgres_fdw
  OPTIONS (host :'shard0_host', port :'shard0_port', dbname :'shard_dbname');
CREATE SERVER shard1 FOREIGN DATA WRAPPER postgres_fdw
  OPTIONS (host :'shard1_host', port :'shard1_port', dbname :'shard_dbname');
CREATE USER MAPPING FOR CURRENT_USER SERVER shard0 OPTIONS (user :'shard_user');
CREATE USER MAPPING FOR CURRENT_USER SERVER shard1 OPTIONS (user :'shard_user');

CREATE TABLE zel_schema (
  version INTEGER NOT NULL
);
INSERT INTO zel_schema (version) VALUES (1);

CREATE TABLE zel_bucket_mid (
  scale INTEGER NOT NULL,
  bucket_index INTEGER NOT NULL,
  mid_ns BIGINT NOT NULL,
  PRIMARY KEY (scale, bucket_index)
);

-- No keys here: a partitioned table cannot have a unique index over
-- foreign partitions. Each shard's own table has them, and a session id
-- always goes to the same shard.
CREATE TABLE zel_session (
  session_id BIGINT NOT NULL,
  session_key CHAR(64) NOT NULL,
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
) PARTITION BY HASH (session_id);

CREATE TABLE zel_tag (
  session_id BIGINT NOT NULL,
  tag_key VARCHAR(256) NOT NULL,
  tag_value VARCHAR(4096) NOT NULL
) PARTITION BY HASH (session_id);

CREATE TABLE zel_bucket (
  session_id BIGINT NOT NULL,
  scale INTEGER NOT NULL,
  bucket_index INTEGER NOT NULL,
  frames BIGINT NOT NULL
) PARTITION BY HASH (session_id);

CREATE FOREIGN TABLE zel_session_shard0 PARTITION OF zel_session
  FOR VALUES WITH (MODULUS 2, REMAINDER 0) SERVER shard0 OPTIONS (table_name 'zel_session');
CREATE FOREIGN TABLE zel_session_shard1 PARTITION OF zel_session
  FOR VALUES WITH (MODULUS 2, REMAINDER 1) SERVER shard1 OPTIONS (table_name 'zel_session');
CREATE FOREIGN TABLE zel_tag_shard0 PARTITION OF zel_tag
  FOR VALUES WITH (MODULUS 2, REMAINDER 0) SERVER shard0 OPTIONS (table_name 'zel_tag');
CREATE FOREIGN TABLE zel_tag_shard1 PARTITION OF zel_tag
  FOR VALUES WITH (MODULUS 2, REMAINDER 1) SERVER shard1 OPTIONS (table_name 'zel_tag');
CREATE FOREIGN TABLE zel_bucket_shard0 PARTITION OF zel_bucket
  FOR VALUES WITH (MODULUS 2, REMAINDER 0) SERVER shard0 OPTIONS (table_name 'zel_bucket');
CREATE FOREIGN TABLE zel_bucket_shard1 PARTITION OF zel_bucket
  FOR VALUES WITH (MODULUS 2, REMAINDER 1) SERVER shard1 OPTIONS (table_name 'zel_bucket');
