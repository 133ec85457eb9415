-- The fleet's statistics, computed by the database from the stored sessions:
-- every session, or ($1 not NULL) those whose tag $1 has the value $2.
--
-- Standard SQL: common table expressions, a VALUES list, the window
-- SUM() OVER (ORDER BY ... ROWS BETWEEN UNBOUNDED PRECEDING AND CURRENT ROW),
-- CASE, CAST and integer arithmetic. Counts are summed as BIGINT, so every
-- engine computes the same integers; each figure is then one or two double
-- divisions written out in full, in the order the library computes them,
-- so that every engine returns the same doubles to the bit. A figure that
-- would be infinite (a rate over 0 ns) is NULL.
--
-- Percentiles are nearest rank (the lowest bucket whose cumulative count
-- reaches num/den of the frames), each bucket standing for its middle kept
-- within [min, max]; frames of 0 ns form one more bucket below the others.
WITH chosen AS (
  SELECT s.*
  FROM zel_session s
  WHERE $1 IS NULL
     OR EXISTS (SELECT 1 FROM zel_tag t
                WHERE t.session_id = s.session_id AND t.tag_key = $1 AND t.tag_value = $2)
),
fleet AS (
  SELECT CAST(SUM(sessions) AS BIGINT) AS sessions,
         CAST(SUM(frames) AS BIGINT) AS n,
         CAST(SUM(total_ns) AS BIGINT) AS t,
         MIN(min_ns) AS min_ns,
         MAX(max_ns) AS max_ns,
         CAST(SUM(zero_count) AS BIGINT) AS z,
         CAST(SUM(over_16_7ms) AS BIGINT) AS over_16_7ms,
         CAST(SUM(over_33_3ms) AS BIGINT) AS over_33_3ms,
         CAST(SUM(over_700ms) AS BIGINT) AS over_700ms,
         CAST(SUM(stutters) AS BIGINT) AS stutters,
         CAST(SUM(stutter_ns) AS BIGINT) AS stutter_ns,
         CAST(SUM(jitter_ns) AS BIGINT) AS jitter_ns,
         MIN(scale) AS c
  FROM chosen
),
-- 2^d for the 17 steps between the finest scale (7) and the coarsest (-10).
pow2 (shift, factor) AS (
  VALUES (0, 1), (1, 2), (2, 4), (3, 8), (4, 16), (5, 32), (6, 64), (7, 128), (8, 256),
         (9, 512), (10, 1024), (11, 2048), (12, 4096), (13, 8192), (14, 16384), (15, 32768),
         (16, 65536), (17, 131072)
),
-- The chosen sessions' buckets added up by scale and index, in one pass
-- over the bucket rows (with no tag, without looking at the sessions)...
grouped AS (
  SELECT b.scale, b.bucket_index, CAST(SUM(b.frames) AS BIGINT) AS cnt
  FROM zel_bucket b
  WHERE $1 IS NULL OR b.session_id IN (SELECT session_id FROM chosen)
  GROUP BY b.scale, b.bucket_index
),
-- ... then at the fleet's coarsest scale c: bucket i becomes
-- floor(i / 2^(scale - c)). Integer division truncates toward zero, so the
-- negative indices are floored by hand.
scaled AS (
  SELECT g.bucket_index,
         g.cnt,
         (SELECT p.factor FROM pow2 p CROSS JOIN fleet f WHERE p.shift = g.scale - f.c) AS factor
  FROM grouped g
),
coarse AS (
  SELECT CASE WHEN bucket_index >= 0 THEN bucket_index / factor
              ELSE -((factor - 1 - bucket_index) / factor) END AS idx,
         cnt AS frames
  FROM scaled
),
buckets AS (
  SELECT b.idx,
         b.cnt,
         CASE WHEN m.mid_ns < f.min_ns THEN f.min_ns
              WHEN m.mid_ns > f.max_ns THEN f.max_ns
              ELSE m.mid_ns END AS e
  FROM (SELECT idx, CAST(SUM(frames) AS BIGINT) AS cnt FROM coarse GROUP BY idx) b
  CROSS JOIN fleet f
  JOIN zel_bucket_mid m ON m.scale = f.c AND m.bucket_index = b.idx
  UNION ALL
  SELECT -2, z, 0 FROM fleet WHERE z > 0
),
ranked AS (
  SELECT e,
         cnt,
         CAST(SUM(cnt) OVER (ORDER BY idx ROWS BETWEEN UNBOUNDED PRECEDING AND CURRENT ROW)
              AS BIGINT) AS up,
         CAST(SUM(cnt) OVER (ORDER BY idx DESC ROWS BETWEEN UNBOUNDED PRECEDING AND CURRENT ROW)
              AS BIGINT) AS down
  FROM buckets
),
-- k1 = ceil(n / 100) and k01 = ceil(n / 1000): the slowest frames the low
-- averages take, from the top bucket down, the last bucket in part.
lows AS (
  SELECT (n + 99) / 100 AS k1, (n + 999) / 1000 AS k01 FROM fleet
),
estimates AS (
  SELECT MIN(CASE WHEN 100 * r.up >= 50 * f.n THEN r.e END) AS p50,
         MIN(CASE WHEN 100 * r.up >= 90 * f.n THEN r.e END) AS p90,
         MIN(CASE WHEN 100 * r.up >= 95 * f.n THEN r.e END) AS p95,
         MIN(CASE WHEN 100 * r.up >= 99 * f.n THEN r.e END) AS p99,
         MIN(CASE WHEN 1000 * r.up >= 999 * f.n THEN r.e END) AS p999,
         CAST(SUM(r.e * CASE WHEN r.down <= l.k1 THEN r.cnt
                             WHEN r.down - r.cnt < l.k1 THEN l.k1 - (r.down - r.cnt)
                             ELSE 0 END) AS BIGINT) AS s1,
         CAST(SUM(r.e * CASE WHEN r.down <= l.k01 THEN r.cnt
                             WHEN r.down - r.cnt < l.k01 THEN l.k01 - (r.down - r.cnt)
                             ELSE 0 END) AS BIGINT) AS s01
  FROM ranked r
  CROSS JOIN fleet f
  CROSS JOIN lows l
)
SELECT f.n AS frames,
       f.sessions,
       f.t AS total_ns,
       f.c AS scale,
       CAST(1000000000 AS DOUBLE PRECISION) * CAST(f.n AS DOUBLE PRECISION)
         / CAST(NULLIF(f.t, 0) AS DOUBLE PRECISION) AS average_fps,
       CAST(f.t AS DOUBLE PRECISION)
         / (CAST(1000000 AS DOUBLE PRECISION) * CAST(f.n AS DOUBLE PRECISION)) AS mean_ms,
       CAST(x.p50 AS DOUBLE PRECISION) / CAST(1000000 AS DOUBLE PRECISION) AS p50_ms,
       CAST(x.p90 AS DOUBLE PRECISION) / CAST(1000000 AS DOUBLE PRECISION) AS p90_ms,
       CAST(x.p95 AS DOUBLE PRECISION) / CAST(1000000 AS DOUBLE PRECISION) AS p95_ms,
       CAST(x.p99 AS DOUBLE PRECISION) / CAST(1000000 AS DOUBLE PRECISION) AS p99_ms,
       CAST(x.p999 AS DOUBLE PRECISION) / CAST(1000000 AS DOUBLE PRECISION) AS p99_9_ms,
       CAST(1000000000 AS DOUBLE PRECISION) * CAST(1 AS DOUBLE PRECISION)
         / CAST(NULLIF(x.p99, 0) AS DOUBLE PRECISION) AS low_1_percentile_fps,
       CAST(1000000000 AS DOUBLE PRECISION) * CAST(l.k1 AS DOUBLE PRECISION)
         / CAST(NULLIF(x.s1, 0) AS DOUBLE PRECISION) AS low_1_low_average_fps,
       CAST(1000000000 AS DOUBLE PRECISION) * CAST(1 AS DOUBLE PRECISION)
         / CAST(NULLIF(x.p999, 0) AS DOUBLE PRECISION) AS low_0_1_percentile_fps,
       CAST(1000000000 AS DOUBLE PRECISION) * CAST(l.k01 AS DOUBLE PRECISION)
         / CAST(NULLIF(x.s01, 0) AS DOUBLE PRECISION) AS low_0_1_low_average_fps,
       CAST(100 * f.over_16_7ms AS DOUBLE PRECISION) / CAST(f.n AS DOUBLE PRECISION)
         AS over_16_7ms_percent,
       CAST(100 * f.over_33_3ms AS DOUBLE PRECISION) / CAST(f.n AS DOUBLE PRECISION)
         AS over_33_3ms_percent,
       CAST(100 * f.over_700ms AS DOUBLE PRECISION) / CAST(f.n AS DOUBLE PRECISION)
         AS over_700ms_percent,
       f.stutters,
       CAST(f.stutter_ns AS DOUBLE PRECISION) / CAST(NULLIF(f.t, 0) AS DOUBLE PRECISION)
         AS stutter_share,
       CAST(f.jitter_ns AS DOUBLE PRECISION)
         / (CAST(1000000 AS DOUBLE PRECISION) * CAST(NULLIF(f.n - f.sessions, 0) AS DOUBLE PRECISION))
         AS jitter_mean_ms
FROM fleet f
CROSS JOIN estimates x
CROSS JOIN lows l
WHERE f.n > 0
