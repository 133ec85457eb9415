-- One session's totals, in the order of zel_session's columns.
INSERT INTO zel_session (session_id, session_key, scale, sessions, frames, total_ns, min_ns,
                         max_ns, zero_count, over_16_7ms, over_33_3ms, over_700ms, stutters,
                         stutter_ns, jitter_ns)
VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14, $15)
