-- The key of the session stored under id $1, if any.
SELECT session_key FROM zel_session WHERE session_id = $1
